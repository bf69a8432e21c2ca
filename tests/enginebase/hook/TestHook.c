/* A frame-hook module for the tests. Arguments: "set N" writes N into the first byte of
 * every picture, "add N" adds N to it, "refuse" makes Configure fail. Release counts its
 * calls in ReleaseCount. Built without Configure when WITHOUT_CONFIGURE is defined. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
  int add;
  int value;
} HookContext;

int ReleaseCount = 0;

#ifndef WITHOUT_CONFIGURE
int Configure(void** context, int argc, char* argv[]) {
  if (argc >= 2 && strcmp(argv[1], "refuse") == 0) return 1;
  HookContext* c = calloc(1, sizeof *c);
  if (!c) return 1;
  if (argc >= 3) {
    c->add = strcmp(argv[1], "add") == 0;
    c->value = atoi(argv[2]);
  }
  *context = c;
  return 0;
}
#endif

void Process(void* context, uint8_t* data[4], int linesize[4], int pixelFormat, int width,
             int height, int64_t pts) {
  (void)linesize;
  (void)pixelFormat;
  (void)width;
  (void)height;
  (void)pts;
  HookContext* c = context;
  if (!c) return;
  data[0][0] = (uint8_t)(c->add ? data[0][0] + c->value : c->value);
}

void Release(void* context) {
  free(context);
  ++ReleaseCount;
}
