#pragma once

#include <set>
#include <string>

// The names of the symbols that a shared object defines and exports, read from
// its dynamic symbol table, demangled. Empty when the file is no 64-bit ELF
// object.
std::set<std::string> exportedSymbols(const std::string& path);
