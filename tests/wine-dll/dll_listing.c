/* Prints env_list("user") as the DLL returns it, byte for byte, and the ANSI code page first
   on a line of its own; exit status 1 with the library's message when the listing fails. */
#include "kestrune_env.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

int main(void) {
  char *listing = env_list("user");
  _setmode(_fileno(stdout), _O_BINARY);
  printf("%u\n", GetACP());
  if (!listing) {
    fprintf(stderr, "%s\n", env_last_error());
    return 1;
  }
  fputs(listing, stdout);
  env_free_string(listing);
  return 0;
}
