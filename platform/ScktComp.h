// The client-socket component: a TCP connection whose events arrive on the user-interface thread.
//
// TClientSocket connects to Host (a dotted address or a host name) at Port, or at Service when
// Port is 0, without waiting: Open starts the connection and returns, and OnConnect, OnRead,
// OnDisconnect and OnError run later from the event loop (or ProcessMessages). The connection,
// TCustomWinSocket, moves bytes without waiting: SendBuf and ReceiveBuf take or give what the
// socket can take or holds now. A failure found by either is reported through OnError before
// they return, with the connection already closed, so a caller waiting in a loop sees it.
//
// Errors: OnError receives the kind and the system's error number by reference; a handler that
// sets it to 0 has dealt with the error, otherwise (or without a handler) the application shows
// it. The user-interface thread alone uses a socket.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/Controls.h"

class QObject;
class QSocketNotifier;
class TTcpClient;
class TClientSocket;

enum TErrorEvent { eeGeneral, eeSend, eeReceive, eeConnect, eeDisconnect, eeAccept, eeLookup };

class TCustomWinSocket;
using TSocketNotifyEvent = std::function<void(TObject* sender, TCustomWinSocket* socket)>;
using TSocketErrorEvent =
    std::function<void(TObject* sender, TCustomWinSocket* socket, TErrorEvent errorEvent, int& errorCode)>;

// One connection of a client socket; it lives as long as its component.
class TCustomWinSocket {
 public:
  ~TCustomWinSocket();
  // True once the connection is established, until it closes.
  bool Connected() const { return connected_; }
  // Bytes the socket took, 0 when it can take none now, -1 on failure (reported first).
  int SendBuf(const void* buf, int count);
  // Bytes read, 0 when none are waiting or the peer has closed (the connection closes then and
  // OnDisconnect follows from the event loop), -1 on failure (reported first).
  int ReceiveBuf(void* buf, int count);
  // Wait up to ms milliseconds for bytes to read or room to send; false when the time ran out or
  // there is no connection. They let a caller that must wait for the peer sleep instead of spin.
  bool WaitForData(int ms);
  bool WaitForSpace(int ms);

 private:
  friend class TClientSocket;
  explicit TCustomWinSocket(TClientSocket* owner);
  TClientSocket* owner_;
  std::unique_ptr<TTcpClient> tcp_;
  bool connected_ = false;
};

class TClientSocket : public TComponent {
 public:
  explicit TClientSocket(TComponent* owner);
  ~TClientSocket() override;

  AnsiString Host;
  int Port = 0;
  AnsiString Service;

  // Connecting or connected.
  bool Active() const { return active_; }
  void SetActive(bool on);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TCustomWinSocket* Socket() { return socket_.get(); }

  TSocketNotifyEvent OnConnect;
  TSocketNotifyEvent OnDisconnect;
  // Runs when bytes arrive. It runs again only after a ReceiveBuf, as long as bytes are waiting,
  // so a handler that leaves the bytes alone is not called over and over.
  TSocketNotifyEvent OnRead;
  TSocketErrorEvent OnError;

 private:
  friend class TCustomWinSocket;
  void Connect();
  void Connected();
  void Readable();
  // Closes the connection; the events of the old connection that are still queued are dropped.
  void Shut();
  void Fail(TErrorEvent kind, int code);
  void Later(std::function<void()> work);
  void Notify(const TSocketNotifyEvent& event);
  void ArmRead();

  std::unique_ptr<TCustomWinSocket> socket_;
  std::unique_ptr<QObject> context_;
  std::unique_ptr<QSocketNotifier> readNote_, writeNote_;
  // Notifiers are not freed while they may be delivering: the closed ones wait here until the
  // next connection or the component's end.
  std::vector<std::unique_ptr<QSocketNotifier>> retired_;
  bool active_ = false;
  unsigned generation_ = 0;
};
