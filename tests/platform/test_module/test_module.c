/* A module for the module-loading tests: its constructor runs at load, as
   the process-attach work of a Windows module does. */
static int g_constructed;

__attribute__((constructor)) static void Construct(void) { g_constructed = 1; }

int VltTestModuleConstructed(void) { return g_constructed; }

int VltTestModuleAnswer(void) { return 42; }
