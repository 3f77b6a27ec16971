#include "plugin/LMPluginInterface.h"

LMPluginInterface::LMPluginInterface() = default;

LMPluginInterface::LMPluginInterface(const LMPluginInterface&) {}

LMPluginInterface::~LMPluginInterface() = default;

LMPluginInterface& LMPluginInterface::operator=(const LMPluginInterface&) {
    return *this;
}
