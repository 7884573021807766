/* A stand-in for the scaling library that exports only the first two of the
   entry points the loader binds, so binding fails part-way through. */
void* sws_getContext(void) { return 0; }
void* sws_getCachedContext(void) { return 0; }
