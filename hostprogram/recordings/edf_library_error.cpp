#include "hostprogram/recordings/edf_library_error.h"

#include <edflib.h>

std::string edfLibraryError(int code) {
    switch (code) {
        case EDFLIB_MALLOC_ERROR:
            return "out of memory";
        case EDFLIB_NO_SUCH_FILE_OR_DIRECTORY:
            return "no such file or directory";
        case EDFLIB_FILE_CONTAINS_FORMAT_ERRORS:
            return "EDFlib finds format errors that the header checks did not";
        case EDFLIB_MAXFILES_REACHED:
            return "too many EDF files open at once";
        case EDFLIB_FILE_READ_ERROR:
            return "read error";
        case EDFLIB_FILE_ALREADY_OPENED:
            return "the file is already open in EDFlib";
        case EDFLIB_FILE_IS_DISCONTINUOUS:
            return "a discontinuous recording (EDF+D/BDF+D)";
        case EDFLIB_NUMBER_OF_SIGNALS_INVALID:
            return "a number of signals EDFlib cannot write";
        case EDFLIB_ARCH_ERROR:
            return "EDFlib does not work on this machine";
        default:
            return "EDFlib error " + std::to_string(code);
    }
}
