#include "elf_exports.h"

#include <cxxabi.h>
#include <elf.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::string demangled(const char* name) {
    int status = 0;
    char* text = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    if (status != 0 || !text) return name;
    std::string result(text);
    std::free(text);
    return result;
}

template <typename Record>
bool readRecord(const std::vector<char>& image, uint64_t offset, Record& record) {
    if (offset > image.size() || image.size() - offset < sizeof(Record)) return false;
    std::memcpy(&record, image.data() + offset, sizeof(Record));
    return true;
}

}  // namespace

std::set<std::string> exportedSymbols(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> image((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    std::set<std::string> names;
    Elf64_Ehdr header;
    if (!readRecord(image, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64)
        return names;
    for (unsigned i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr section;
        if (!readRecord(image, header.e_shoff + uint64_t(i) * header.e_shentsize, section)) break;
        if (section.sh_type != SHT_DYNSYM || section.sh_entsize == 0) continue;
        Elf64_Shdr strings;
        if (!readRecord(image, header.e_shoff + uint64_t(section.sh_link) * header.e_shentsize,
                        strings))
            break;
        for (uint64_t k = 0; k < section.sh_size / section.sh_entsize; ++k) {
            Elf64_Sym symbol;
            if (!readRecord(image, section.sh_offset + k * section.sh_entsize, symbol)) break;
            int binding = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK))
                continue;
            uint64_t nameOffset = strings.sh_offset + symbol.st_name;
            if (nameOffset >= image.size()) continue;
            const char* name = image.data() + nameOffset;
            if (std::memchr(name, '\0', image.size() - nameOffset) == nullptr) continue;
            names.insert(demangled(name));
        }
    }
    return names;
}
