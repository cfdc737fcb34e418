// A TCP client connection over IPv4, and the name look-ups it needs.
//
// Every wait is bounded by the caller's time: a connection attempt, and each wait for the socket
// to take or give bytes. Sends never raise a signal when the peer has gone. One thread at a time
// uses a TTcpClient; the look-up functions may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/AnsiString.h"

// This machine's host name, at most 64 bytes; "" when it cannot be had.
AnsiString LocalHostName();

// A dotted address, else a host name through the name service (which may block). The address
// holds the four bytes in network order. False when neither gives an IPv4 address.
bool ResolveHostAddress(const AnsiString& host, uint32_t& address);

// A port number when the text scans with "%d", else a service name of protocol "tcp". False when
// the name is unknown or the number lies outside 1 to 65535.
bool ResolveServicePort(const AnsiString& service, uint16_t& port);

// One TCP stream socket; closed when the object goes. Closing resets the connection (linger on
// with time 0), so a peer never waits on a half-closed conversation.
class TTcpClient {
 public:
  // Results of the waits, and of Send and Receive when the socket has nothing for them now.
  enum : int { tcpReady = 1, tcpTimedOut = 0, tcpError = -1, tcpAgain = -2 };

  TTcpClient() = default;
  ~TTcpClient() { Close(); }
  TTcpClient(const TTcpClient&) = delete;
  TTcpClient& operator=(const TTcpClient&) = delete;

  // Makes the socket; false when the system refuses one.
  bool Open();
  // Connects an open socket within timeoutMs; false on refusal, error or time-out.
  bool Connect(uint32_t address, uint16_t port, int timeoutMs);
  // Starts connecting an open socket without waiting: tcpReady when connected at once, tcpAgain
  // while the connection is under way (the socket turns writable when it ends; ConnectError then
  // tells how), tcpError when it failed at once.
  int BeginConnect(uint32_t address, uint16_t port);
  // The outcome of a connection begun with BeginConnect: 0, or the system's error number.
  int ConnectError() const;
  bool IsOpen() const { return fd_ >= 0; }
  // The descriptor, for an event loop to watch; -1 when closed.
  int Handle() const { return fd_; }
  // The system's error number of the last call that answered tcpError (or false).
  int LastError() const { return error_; }

  // tcpReady, tcpTimedOut or tcpError. A socket whose peer has closed counts as readable.
  int WaitWritable(int timeoutMs);
  int WaitReadable(int timeoutMs);
  // Bytes moved; Receive answers 0 when the peer has closed; tcpError; tcpAgain when nothing
  // can move now. A peek leaves the bytes in the socket.
  long Send(const void* data, size_t size);
  long Receive(void* data, size_t size, bool peek = false);

  // Ends both directions, then closes the socket. Harmless on a closed one.
  void Shutdown();
  void Close();

 private:
  int Fail();
  int fd_ = -1;
  int error_ = 0;
};
