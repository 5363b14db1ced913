/* The program a self-extracting file runs after extraction, in the tests:
   writes a marker (its working folder, then its arguments, one a line) to
   ran.txt in its working folder, or to the file RUN_MARKER names, and exits
   with the number given as its first argument. A second argument "wait"
   makes it wait two seconds first, for a screenshot of the window; "long"
   twelve, longer than the extractor waits for its own worker at exit. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc > 2 && strcmp(argv[2], "wait") == 0) Sleep(2000);
  if (argc > 2 && strcmp(argv[2], "long") == 0) Sleep(12000);
  char folder[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, folder);
  const char* path = getenv("RUN_MARKER");
  FILE* marker = fopen(path && *path ? path : "ran.txt", "w");
  if (marker == NULL) return 99;
  fprintf(marker, "%s\n", folder);
  for (int i = 1; i < argc; i++) fprintf(marker, "%s\n", argv[i]);
  fclose(marker);
  return argc > 1 ? atoi(argv[1]) : 0;
}
