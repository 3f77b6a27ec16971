#include "run/run_state.h"

RunState::~RunState() {
    if (fileOpen) closeCtcFile(file);
}
