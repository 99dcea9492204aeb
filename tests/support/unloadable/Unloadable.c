/* A library with nothing that would keep it loaded after its last dlclose:
   for the tests of keeping a library loaded. */
int PendrelUnloadableAnswer(void) { return 42; }
