// The framed-message client: a client socket that speaks to a message server in frames.
//
// Every exchange is a frame: a 10-byte header, then a payload.
//
// | bytes | content                                                                        |
// |-------|--------------------------------------------------------------------------------|
// | 0     | 0x0B, the start mark                                                           |
// | 1     | frame type (unsigned byte); in a reply 0 is success and anything else an error |
// | 2..9  | payload length in decimal digits, a zero byte after them when fewer than 8     |
//
// Integers in payloads are 32-bit, most significant byte first; names carry no terminator. The
// message data of a send request and of a receive reply follows the counted payload (the header
// length leaves it out; a length field inside the payload gives it).
//
// | frame           | type | header length  | payload                                       |
// |-----------------|------|----------------|-----------------------------------------------|
// | registration    | 0    | 48             | 24 zero bytes, MyName in 20 bytes, 4 zeros    |
// | acknowledgement | 5    | 4              | int 1                                         |
// | send            | 4    | name length + 8| int 1, int data length, name, then the data   |
// | count           | 2    | YourName length| YourName; reply: int count (length 4)         |
// | receive / scan  | 8/7  | YourName + 4   | int argument, YourName; reply: int id, int    |
// |                 |      |                | data length n, name, then n bytes of data     |
//
// When the connection opens the client registers (state 0), acknowledges the server's answer
// (state 1) and is ready (state 2); from then on a lone 0x01 byte from the server says that data
// waits (OnRead). Requests wait for their reply without processing events and without a time
// limit; a socket error or the end of the connection ends every wait. The user-interface thread
// alone uses the component.
#pragma once

#include <cstdint>

#include "platform/ScktComp.h"

class TUbexMsgSocket : public TClientSocket {
 public:
  explicit TUbexMsgSocket(TComponent* owner);

  AnsiString MyName;    // sent at registration, at most its first 20 bytes
  AnsiString YourName;  // the partner name of the count, receive and scan requests
  // These hide the client socket's own events, which the component handles itself.
  TSocketNotifyEvent OnConnect;  // the handshake has completed
  TSocketNotifyEvent OnRead;     // the server's trigger byte arrived
  TSocketErrorEvent OnError;     // a request was refused, or the socket failed

  // True when the server accepted the message. data holds length bytes.
  bool SendData_UMS(TObject* sender, const AnsiString& name, int length, const void* data);
  // The number of messages waiting for YourName, at most 32767; 0 on failure.
  int NumOfData_UMS(TObject* sender);
  // The receive request with argument 0.
  const char* RecvData_UMS(TObject* sender, long* id, int* length, char* name);
  const char* RecvMsg_UMS(TObject* sender, long* id, int* length, char* name, int arg);
  const char* ScanMsg_UMS(TObject* sender, long* id, int* length, char* name, int arg);
  // The message's data, valid until the next receive or scan, with its id and length; name (when
  // given) gets the sender's name and a zero byte and must hold kNameLimit + 1 bytes. Null on
  // failure.
  const char* ReceiveMessage(TObject* sender, long* id, int* length, char* name, int arg, int type);

  static AnsiString ErrMsg_UMS(int code);
  int ChkErr_UMS() const { return lastError_; }

  // The longest name and message data a reply may carry; longer ones are refused (error 4).
  static constexpr int kNameLimit = 80;
  static constexpr int kDataLimit = 1025;

 private:
  enum : int { kHeaderSize = 10 };

  // The type and the length of a header that begins with the start mark.
  static void ParseHeader(const unsigned char header[kHeaderSize], int& type, int& length);

  void UMSendHeader(int type, int length);
  bool UMSendLength(const void* bytes, int count);
  void UMRecvHeader(int& type, int& length);
  bool UMRecvLength(void* bytes, int count);
  bool UMSendInt(int32_t value);
  bool UMRecvInt(int32_t& value);
  void UMClear();
  bool CheckTrigger();
  // A request or a handler may use the socket: it is connected and no error came meanwhile.
  bool Usable(int errorsBefore);
  void Refuse(TObject* sender, TErrorEvent kind, int type, int length);
  void Malformed();

  void ConnectCB(TObject* sender, TCustomWinSocket* socket);
  void ReadCB(TObject* sender, TCustomWinSocket* socket);
  void ErrorCB(TObject* sender, TCustomWinSocket* socket, TErrorEvent kind, int& code);

  int state_ = 0;
  int lastError_ = 0;
  int socketErrors_ = 0;
  char received_[kDataLimit] = {};
};
