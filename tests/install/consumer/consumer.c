/* Lists the user scope through the installed library: the smallest real use of it. */
#include <kestrune_env.h>
#include <stdio.h>

int main(void) {
  char *listing = env_list("user");
  if (!listing) {
    fprintf(stderr, "consumer: %s\n", env_last_error());
    return 1;
  }
  int is_object = listing[0] == '{';
  env_free_string(listing);
  puts(is_object ? "consumer: listed the user scope" : "consumer: the listing is not an object");
  return is_object ? 0 : 1;
}
