// Compiled with one module's include folders only: ZEMBRA_INCLUDE names a
// header that module may or may not reach.
#include ZEMBRA_INCLUDE

int ZembraIncludeCheck() { return 0; }
