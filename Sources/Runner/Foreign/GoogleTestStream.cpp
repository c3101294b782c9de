#include "GoogleTestStream.h"

#include "Exception.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Kalvoro {

namespace {

int HexDigit(char aChar) {
  if (aChar >= '0' && aChar <= '9')
    return aChar - '0';
  if (aChar >= 'a' && aChar <= 'f')
    return aChar - 'a' + 10;
  if (aChar >= 'A' && aChar <= 'F')
    return aChar - 'A' + 10;
  return -1;
}

std::string Decoded(const std::string& aText) {
  std::string Text;
  for (std::size_t I = 0; I < aText.size(); ++I) {
    if (aText[I] == '%' && I + 2 < aText.size() && HexDigit(aText[I + 1]) >= 0 &&
        HexDigit(aText[I + 2]) >= 0) {
      Text += static_cast<char>(HexDigit(aText[I + 1]) * 16 + HexDigit(aText[I + 2]));
      I += 2;
    } else {
      Text += aText[I];
    }
  }
  return Text;
}

// Reads what the connection holds now; false at its end.
bool ReadSome(int aSocket, std::string& aInto) {
  char Buffer[16384];
  for (;;) {
    const ssize_t Read = recv(aSocket, Buffer, sizeof Buffer, MSG_DONTWAIT);
    if (Read > 0) {
      aInto.append(Buffer, static_cast<std::size_t>(Read));
      continue;
    }
    if (Read < 0 && errno == EINTR)
      continue;
    return Read < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
}

} // namespace

TStreamEvent ParseStreamLine(const std::string& aLine) {
  TStreamEvent Event;
  std::size_t At = 0;
  while (At <= aLine.size()) {
    std::size_t End = aLine.find('&', At);
    if (End == std::string::npos)
      End = aLine.size();
    const std::string Pair = aLine.substr(At, End - At);
    const std::size_t Equals = Pair.find('=');
    if (Equals != std::string::npos) {
      const std::string Key = Pair.substr(0, Equals);
      std::string Value = Decoded(Pair.substr(Equals + 1));
      if (Key == "event" && Event.Name.empty())
        Event.Name = std::move(Value);
      else
        Event.Fields[Key] = std::move(Value);
    }
    At = End + 1;
  }
  return Event;
}

TGoogleTestStream::TGoogleTestStream() {
  FListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Size = sizeof Address;
  if (FListener < 0 ||
      bind(FListener, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0 ||
      listen(FListener, 16) != 0 ||
      getsockname(FListener, reinterpret_cast<sockaddr*>(&Address), &Size) != 0) {
    const std::string Why =
        std::string("Unable to listen for the test program's results: ") + std::strerror(errno);
    if (FListener >= 0)
      close(FListener);
    throw Exception(Why);
  }
  FPort = ntohs(Address.sin_port);
}

TGoogleTestStream::~TGoogleTestStream() {
  for (const int Descriptor : Descriptors())
    close(Descriptor);
}

std::vector<int> TGoogleTestStream::Descriptors() const {
  std::vector<int> Result;
  if (FListener >= 0)
    Result.push_back(FListener);
  if (FFirst >= 0)
    Result.push_back(FFirst);
  Result.insert(Result.end(), FOthers.begin(), FOthers.end());
  return Result;
}

void TGoogleTestStream::Read(std::vector<TStreamEvent>& aEvents) {
  for (int Accepted;
       (Accepted = accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0;) {
    if (!FTaken) {
      FFirst = Accepted;
      FTaken = true;
    } else
      FOthers.push_back(Accepted);
  }
  for (auto Other = FOthers.begin(); Other != FOthers.end();) {
    std::string Ignored;
    if (ReadSome(*Other, Ignored)) {
      ++Other;
    } else {
      close(*Other);
      Other = FOthers.erase(Other);
    }
  }
  if (FFirst < 0)
    return;
  const bool Open = ReadSome(FFirst, FPending);
  std::size_t Start = 0;
  for (std::size_t End; (End = FPending.find('\n', Start)) != std::string::npos; Start = End + 1) {
    TStreamEvent Event = ParseStreamLine(FPending.substr(Start, End - Start));
    if (!Event.Name.empty())
      aEvents.push_back(std::move(Event));
  }
  FPending.erase(0, Start);
  if (!Open) {
    close(FFirst);
    FFirst = -1; // ended: no later connection takes its place
  }
}

} // namespace Kalvoro
