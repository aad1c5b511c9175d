// The attempt loop every link shares: attempts, pauses between frames, the
// reply judge, the trace record and the reason of a failure.
#include <cerrno>
#include <cstring>
#include <string>

#include "core/Protocol.h"
#include "core/Trace.h"
#include "transport/Link.h"
#include "transport/SocketIO.h"

namespace {

using socketio::Clock;

// Sends every frame, pausing after each as the link needs. Returns when the
// last frame went out (before its pause), for the reply's arrival time.
Clock::time_point SendAll(Link& link, const FrameList& frames, trace::Transmission& rec) {
  const int count = static_cast<int>(frames.size());
  if (rec.on()) {
    for (int i = 0; i < count; ++i) {
      rec.Frame(i + 1, count, frames[i].chArrBuffer, frames[i].nBufferLen);
    }
  }
  Clock::time_point lastSent = Clock::now();
  for (const CBuffObj::tagBufferInfo& f : frames) {
    link.Send(f);
    lastSent = Clock::now();
    socketio::SleepMs(link.PauseAfterFrameMs());
  }
  return lastSent;
}

void TraceNoReply(trace::Transmission& rec, const Received& r) {
  if (rec.on()) rec.Note("< no reply (" + r.why + ")");
}

// One exchange of an attempt: frames out, one reply in (see Link for the
// links that listen first or send again after a failed receive).
Received Exchange(Link& link, const FrameList& frames, uint8_t* reply, trace::Transmission& rec) {
  Received r;
  Clock::time_point from = Clock::now();
  bool answered = false;
  if (link.ListensFirst()) {
    r = link.Receive(reply, rec);
    answered = r.bytes >= 0;
  }
  if (!answered) {
    from = SendAll(link, frames, rec);
    r = link.Receive(reply, rec);
    if (r.bytes < 0 && link.RepeatsOnError()) {
      TraceNoReply(rec, r);
      from = SendAll(link, frames, rec);
      r = link.Receive(reply, rec);
    }
  }
  if (r.bytes > 0) {
    rec.Reply(reply, r.bytes, socketio::MsSince(from));
  } else {
    TraceNoReply(rec, r);
  }
  return r;
}

std::string Attempts(int n) { return std::to_string(n) + (n == 1 ? " attempt" : " attempts"); }

}  // namespace

Received NothingReceived(long bytes, int error, int waitedMs) {
  Received r;
  r.bytes = bytes;
  r.timedOut = bytes < 0 && (error == EAGAIN || error == EWOULDBLOCK);
  r.why = socketio::NoReplyText(bytes, error, waitedMs);
  return r;
}

int RunAttempts(Link& link, const FrameList& frames, const SendSettings& settings) {
  int result = 1;
  trace::Transmission rec;
  if (trace::On()) {
    rec.Start(link.Peer());
    const std::string note = link.OpeningNote();
    if (!note.empty()) rec.Note(note);
  }
  uint8_t reply[protocol::kReplySize];
  // How the last attempt ended, for the trace's result line (`how`) and the
  // thread's reason (`reason`); put in words only when needed, so that a
  // traceless accepted call builds no text.
  std::string how = "no attempt was made", reason;
  int made = 0;
  for (int attempt = 0; attempt < settings.attempts; ++attempt) {
    if (link.OneAttemptOnly() && attempt > 0) break;
    rec.Attempt(attempt + 1, settings.attempts);
    ++made;
    std::memset(reply, 0, sizeof reply);
    std::string why;
    const Readiness readiness = link.Begin(attempt, rec, &why);
    if (readiness == Readiness::kEnd || readiness == Readiness::kNotOpen) {
      how = why;
      reason = why;
      if (readiness == Readiness::kEnd) break;
      continue;
    }
    Received received;
    if (readiness == Readiness::kReady) {
      received = Exchange(link, frames, reply, rec);
    } else if (rec.on()) {
      rec.Note(why);
    }
    link.End();
    const ReplyVerdict verdict = link.Judge(reply, received.bytes, result);
    result = verdict.result;
    if (rec.on() || result != 0) {
      how = link.Describe(reply, received.bytes, verdict);
      if (result == 0) {
        reason.clear();
      } else if (readiness == Readiness::kNothingSent) {
        reason = why;
      } else if (received.bytes <= 0) {
        reason = link.Who() + ": no reply " +
                 (received.timedOut
                      ? "within " + std::to_string(settings.receiveTimeOutMs) + " ms"
                      : "(" + received.why + ")") +
                 " after " + Attempts(made);
      } else if (result == 3 || result == 4) {
        reason = link.Who() + " refused the command: status \"" + std::to_string(result - 1) + "\"";
      } else {
        reason = link.Who() + ": reply not accepted (" + how + ")";
      }
    }
    if (verdict.stop) break;
  }
  rec.Result(result, how);
  if (result != 0 && !reason.empty()) trace::SetReason(reason);
  return result;
}
