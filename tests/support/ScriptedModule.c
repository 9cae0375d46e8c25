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
 * takes the fault), "hang" never returns.
 *
 * On Windows it uses nothing of the C run time, so the DLL has no thread-local
 * storage directory: Wine 8 faults when it loads a DLL with one into a process
 * whose serial port waits have ended (those threads end without the loader's
 * thread shutdown), which a window printing on a COM port does every time. */
#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#define VEK_ENTRY __declspec(dllexport) unsigned char __stdcall

/* The entry point in place of the run time's: nothing to set up. */
BOOL WINAPI ScriptedModuleEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}

static void Save(const char* name, const char* data, size_t size) {
  HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, data, (DWORD)size, &written, NULL);
  CloseHandle(file);
}

/* The file's first SIZE bytes, or -1 when there is none. */
static long Load(const char* name, char* buffer, size_t size) {
  HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return -1;
  DWORD got = 0, total = 0;
  while (total < size && ReadFile(file, buffer + total, (DWORD)(size - total), &got, NULL) && got > 0) total += got;
  CloseHandle(file);
  return (long)total;
}

static void Say(const char* line, size_t size) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, (DWORD)size, &written, NULL);
}
#else
#include <fcntl.h>
#include <unistd.h>
#define VEK_ENTRY __attribute__((visibility("default"))) unsigned char

static void Save(const char* name, const char* data, size_t size) {
  int file = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (file < 0) return;
  ssize_t written = write(file, data, size);
  (void)written;
  close(file);
}

static long Load(const char* name, char* buffer, size_t size) {
  int file = open(name, O_RDONLY);
  if (file < 0) return -1;
  size_t total = 0;
  ssize_t got;
  while (total < size && (got = read(file, buffer + total, size - total)) > 0) total += (size_t)got;
  close(file);
  return (long)total;
}

static void Say(const char* line, size_t size) {
  ssize_t written = write(1, line, size);
  (void)written;
}
#endif

static size_t Length(const char* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

static int Begins(const char* text, const char* word) {
  for (; *word != 0; ++text, ++word)
    if (*text != *word) return 0;
  return 1;
}

static void Misbehave(const char* action) {
  volatile uintptr_t zero = 0; /* an address the compiler can't see is zero */
  if (Begins(action, "hang") && action[4] == 0) {
    for (;;) {
#ifdef _WIN32
      Sleep(INFINITE);
#else
      pause();
#endif
    }
  }
#ifdef _WIN32
  if (Begins(action, "crash-to-debugger") && action[17] == 0) SetUnhandledExceptionFilter(NULL);
#endif
  if (Begins(action, "crash")) {
    static const char line[] = "scripted module: about to fault\n";
    Say(line, sizeof line - 1);
    *(volatile int*)zero = 1;
  }
}

VEK_ENTRY VEKDataProcPos(const char* server, int port, char* request, char* reply) {
  char call[600];
  size_t n = Length(server);
  if (n > 500) n = 500;
  for (size_t i = 0; i < n; ++i) call[i] = server[i];
  call[n++] = ' ';
  char digits[12];
  size_t d = 0;
  unsigned long value = port < 0 ? 0UL - (unsigned long)port : (unsigned long)port;
  do digits[d++] = (char)('0' + value % 10); while ((value /= 10) != 0);
  if (port < 0) call[n++] = '-';
  while (d > 0) call[n++] = digits[--d];
  Save("scripted-call.txt", call, n);
  Save("scripted-request.bin", request, Length(request));
  char word[32] = {0};
  long length = Load("scripted-action.txt", word, sizeof word - 1);
  if (length >= 0) {
    while (length > 0 && (word[length - 1] == '\n' || word[length - 1] == '\r')) word[--length] = 0;
    Misbehave(word);
  }
  /* The result byte, then up to all 1025 bytes of the reply. */
  char script[1 + 1025];
  long got = Load("scripted-reply.bin", script, sizeof script);
  if (got <= 0) return 0;
  for (long i = 1; i < got; ++i) reply[i - 1] = script[i];
  return (unsigned char)script[0];
}
