// The module's code lives in the static plug-in library, linked in whole; a
// target needs at least one source of its own. Loading and unloading the
// module run none of our code: there is no per-process set-up.
