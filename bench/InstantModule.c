/* A payment module that answers at once, for timing the call itself: every request
 * gets an accepted reply, framed as the server sends it. */
#include <string.h>

#ifdef _WIN32
#define VEK_ENTRY __declspec(dllexport) unsigned char __stdcall
#else
#define VEK_ENTRY __attribute__((visibility("default"))) unsigned char
#endif

VEK_ENTRY VEKDataProcPos(const char* server, int port, char* request, char* reply) {
  static const char kReply[] = "\x02" "0000" "instant answer\x03";
  (void)server;
  (void)port;
  (void)request;
  memcpy(reply, kReply, sizeof kReply); /* with its terminating zero */
  return 1;
}
