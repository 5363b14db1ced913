/* Loads each DLL named on the command line the way a careless program does,
   by bare name from the default search path, which starts with the
   program's own folder. A planted DLL beside it is then loaded: the control
   that shows the planted-DLL test can see a load at all. */
#include <windows.h>

int main(int argc, char** argv) {
  int failed = 0;
  for (int i = 1; i < argc; i++) {
    if (!LoadLibraryA(argv[i])) failed = 1;
  }
  return failed;
}
