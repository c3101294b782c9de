// GoogleTest's result stream: the program connects to a loopback port that
// this side listens on and sends one event a line ("event=TestStart&name=
// Pass"), values URL-encoded. Death tests run as children that connect
// again: only the first connection is read, the others are drained.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace Kalvoro {

struct TStreamEvent {
  std::string Name; // the event: TestCaseStart, TestStart, TestPartResult, ...
  std::map<std::string, std::string> Fields;
  std::string Field(const std::string& aName) const {
    const auto Found = Fields.find(aName);
    return Found == Fields.end() ? std::string() : Found->second;
  }
};

// One line of the stream as an event (empty name for a line of no event).
TStreamEvent ParseStreamLine(const std::string& aLine);

class TGoogleTestStream {
public:
  // Listens on 127.0.0.1 at a port of the system's choice; raises Exception
  // when it cannot.
  TGoogleTestStream();
  ~TGoogleTestStream();
  TGoogleTestStream(const TGoogleTestStream&) = delete;
  TGoogleTestStream& operator=(const TGoogleTestStream&) = delete;

  int Port() const { return FPort; }
  std::vector<int> Descriptors() const;
  // Accepts waiting connections and appends the events that arrived whole.
  void Read(std::vector<TStreamEvent>& aEvents);

private:
  int FListener = -1;
  int FPort = 0;
  int FFirst = -1;          // the program's own connection
  bool FTaken = false;      // it has connected (and may have ended)
  std::vector<int> FOthers; // its death tests' children
  std::string FPending;     // a line not ended yet
};

} // namespace Kalvoro
