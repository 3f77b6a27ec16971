#pragma once

// Marks the few names that leave the module. Everything else is hidden by the
// build (default visibility hidden), and on Linux a version script narrows the
// exported set to exactly the plug-in contract.
#if defined(_WIN32)
#if defined(KORU_BUILDING_MODULE)
#define KORU_EXPORT __declspec(dllexport)
#else
#define KORU_EXPORT __declspec(dllimport)
#endif
#else
#define KORU_EXPORT __attribute__((visibility("default")))
#endif
