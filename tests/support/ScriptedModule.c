/* A payment module for tests. Each call reads "scripted-reply.bin" from the current
 * working directory: its first byte is the result to return, the rest is copied into
 * the reply buffer as it is (up to all 1025 bytes, so a script can leave no zero).
 * The request it got goes to "scripted-request.bin" and the server and port to
 * "scripted-call.txt", so a test sees exactly what the program sent. */
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#define VEK_ENTRY __declspec(dllexport) unsigned char __stdcall
#else
#define VEK_ENTRY __attribute__((visibility("default"))) unsigned char
#endif

VEK_ENTRY VEKDataProcPos(const char* server, int port, char* request, char* reply) {
  FILE* call = fopen("scripted-call.txt", "wb");
  if (call) {
    fprintf(call, "%s %d", server, port);
    fclose(call);
  }
  FILE* sent = fopen("scripted-request.bin", "wb");
  if (sent) {
    fwrite(request, 1, strlen(request), sent);
    fclose(sent);
  }
  FILE* script = fopen("scripted-reply.bin", "rb");
  if (!script) return 0;
  int result = fgetc(script);
  size_t n = fread(reply, 1, 1025, script);
  (void)n;
  fclose(script);
  return result == EOF ? 0 : (unsigned char)result;
}
