#include "platform/Resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <utility>

namespace {

bool SystemResolve(uint32_t address, AnsiString& name) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  std::memcpy(&sa.sin_addr, &address, sizeof address);
  char host[NI_MAXHOST];
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0)
    return false;
  name = host;
  return true;
}

THostResolver& CurrentResolver() {
  static THostResolver resolver = SystemResolve;
  return resolver;
}

}  // namespace

uint32_t InetAddr(const AnsiString& text) {
  if (text.find('\0') != AnsiString::npos) return INADDR_NONE;
  return inet_addr(text.c_str());
}

bool ResolveHostName(uint32_t address, AnsiString& name) { return CurrentResolver()(address, name); }

THostResolver SetHostResolver(THostResolver resolver) {
  THostResolver previous = std::move(CurrentResolver());
  CurrentResolver() = resolver ? std::move(resolver) : THostResolver(SystemResolve);
  return previous;
}
