// Placeholder so that the library has a translation unit.
