/* Reads a JSON document from stdin with the project's yyjson stand-in and writes it back to
 * stdout: on one line, or indented by four (argument "4") or two spaces ("2"). Prints
 * "invalid" for a document the stand-in refuses. yyjson_standin_test compares the result with
 * yyjson's own. */
#include "yyjson.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv) {
  static char text[1 << 16];
  size_t len = fread(text, 1, sizeof text - 1, stdin);
  yyjson_write_flag flags = YYJSON_WRITE_ALLOW_INVALID_UNICODE;
  if (argc > 1 && strcmp(argv[1], "4") == 0)
    flags |= YYJSON_WRITE_PRETTY;
  if (argc > 1 && strcmp(argv[1], "2") == 0)
    flags |= YYJSON_WRITE_PRETTY_TWO_SPACES;
  yyjson_doc *doc = yyjson_read_opts(text, len, YYJSON_READ_ALLOW_INVALID_UNICODE, NULL, NULL);
  if (!doc) {
    fputs("invalid", stdout);
    return 0;
  }
  size_t out_len = 0;
  char *out = yyjson_val_write(yyjson_doc_get_root(doc), flags, &out_len);
  fwrite(out, 1, out_len, stdout);
  free(out);
  yyjson_doc_free(doc);
  return 0;
}
