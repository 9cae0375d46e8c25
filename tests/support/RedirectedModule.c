/* The stand-in payment module (VEKDLL.so) on a port of the test's own: the terminal
 * always calls its module with the service's fixed port, which a test run beside
 * others must not take. Each call loads the module named by $VEK_REDIRECT_MODULE
 * and calls it with the server the terminal gave and the port $VEK_REDIRECT_PORT
 * (Linux only). */
#include <dlfcn.h>
#include <stdlib.h>

typedef unsigned char (*Entry)(const char*, int, char*, char*);

unsigned char VEKDataProcPos(const char* server, int port, char* request, char* reply) {
  const char* module = getenv("VEK_REDIRECT_MODULE");
  const char* redirected = getenv("VEK_REDIRECT_PORT");
  void* library = module ? dlopen(module, RTLD_NOW | RTLD_LOCAL) : NULL;
  if (library == NULL) return 0;
  const Entry entry = (Entry)dlsym(library, "VEKDataProcPos");
  const unsigned char result = entry ? entry(server, redirected ? atoi(redirected) : port, request, reply) : 0;
  dlclose(library);
  return result;
}
