/* The program a self-extracting file runs after extraction, in the tests:
   writes ran.txt into its working folder (that folder, then its arguments,
   one a line) and exits with the number given as its first argument. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
  char folder[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, folder);
  FILE* marker = fopen("ran.txt", "w");
  if (marker == NULL) return 99;
  fprintf(marker, "%s\n", folder);
  for (int i = 1; i < argc; i++) fprintf(marker, "%s\n", argv[i]);
  fclose(marker);
  return argc > 1 ? atoi(argv[1]) : 0;
}
