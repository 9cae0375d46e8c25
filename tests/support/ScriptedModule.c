/* A payment module for tests. Each call reads "scripted-reply.bin" from the current
 * working directory: its first byte is the result to return, the rest is copied into
 * the reply buffer as it is (up to all 1025 bytes, so a script can leave no zero).
 * The request it got goes to "scripted-request.bin" and the server and port to
 * "scripted-call.txt", so a test sees exactly what the program sent.
 *
 * A word in "scripted-action.txt" makes the call misbehave after that, as a broken
 * module does: "crash" writes to address zero (an access violation, after a line on
 * standard output), "crash-to-debugger" does so after taking away the process's
 * unhandled-exception filter (Windows: the system's handling, Wine's debugger,
 * takes the fault), "hang" never returns. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#define VEK_ENTRY __declspec(dllexport) unsigned char __stdcall
#else
#include <unistd.h>
#define VEK_ENTRY __attribute__((visibility("default"))) unsigned char
#endif

static void Misbehave(const char* action) {
  volatile uintptr_t zero = 0; /* an address the compiler can't see is zero */
  if (strcmp(action, "hang") == 0) {
    for (;;) {
#ifdef _WIN32
      Sleep(INFINITE);
#else
      pause();
#endif
    }
  }
#ifdef _WIN32
  if (strcmp(action, "crash-to-debugger") == 0) SetUnhandledExceptionFilter(NULL);
#endif
  if (strncmp(action, "crash", 5) == 0) {
    printf("scripted module: about to fault\n");
    fflush(stdout);
    *(volatile int*)zero = 1;
  }
}

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
  FILE* action = fopen("scripted-action.txt", "rb");
  if (action) {
    char word[32] = {0};
    size_t length = fread(word, 1, sizeof word - 1, action);
    fclose(action);
    while (length > 0 && (word[length - 1] == '\n' || word[length - 1] == '\r')) word[--length] = 0;
    Misbehave(word);
  }
  FILE* script = fopen("scripted-reply.bin", "rb");
  if (!script) return 0;
  int result = fgetc(script);
  size_t n = fread(reply, 1, 1025, script);
  (void)n;
  fclose(script);
  return result == EOF ? 0 : (unsigned char)result;
}
