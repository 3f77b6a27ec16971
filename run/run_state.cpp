#include "run/run_state.h"

RunState::~RunState() {
    if (fileOpen) closeCtcFile(file);
    if (hasWindow) release_vector(window, 0, settings.windowLength() - 1);
    if (hasTriggers) release_ivector(triggers, 0, occurrenceCount - 1);
}
