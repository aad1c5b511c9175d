// The library's process-wide model: the show-page set an application builds
// before an upload, the list of controllers logged in to the login server,
// and the string and bit-string helpers the encoders share.
#ifndef LIBVEXA_X86_MODEL_GLOBALMEMBER_H
#define LIBVEXA_X86_MODEL_GLOBALMEMBER_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A connection's descriptor with shared owners: the client list and every
// send in progress on it. The last owner closes it, so a connection that
// leaves the list is never closed under a send that is still using it.
class SocketHandle {
 public:
  explicit SocketHandle(int fd) : fd_(fd) {}
  ~SocketHandle();
  SocketHandle(const SocketHandle&) = delete;
  SocketHandle& operator=(const SocketHandle&) = delete;

  int fd() const { return fd_; }
  // Held by a send for its whole exchange, so that two sends to the same
  // controller never interleave their frames or take each other's reply.
  std::mutex& exchangeLock() { return exchange_; }

 private:
  const int fd_;
  std::mutex exchange_;
};

class GlobalMember {
 public:
  // One controller connection accepted by the login server. The record
  // shares the ownership of its connection (`handle`); a record without a
  // handle only names a descriptor that someone else owns.
  struct tagSocketClient {
    int nSocket = -1;
    std::string strIp;
    bool bLogin = false;
    std::shared_ptr<SocketHandle> handle;
  };

  // One file of an image-group material.
  struct tagFileInfo {
    int fileIndex = 0;
    std::string fileName;
  };

  // One material shown in an area.
  struct tagMaterial {
    std::string text;
    bool primaryFlag = true;
    int materialId = 0;
    int dataIndex = 0;
    int contentType = 0;
    int style1 = 0;
    int style2 = 0;
    int style3 = 0;
    int displayMode = 0;
    int textStyle = 0;
    int attrHigh = 0;
    int attrLow = 0;
    int levelCode = '1';
    int dtField4High = 0;
    int dtField4Low = 0;
    int dtField6 = 0;
    int dtField0 = 0;
    int dtField1 = 0;
    int dtTopBit = 0;
    int dtField2 = 0;
    int dtField3 = 0;
    int lineUpIndex = 0;
    bool lineUpFlag = false;
    int extraByte = 0;
    std::vector<tagFileInfo> files;

    // The level the material means (1, 2 or 3) for its stored level
    // character ('1', '2' or '3'); the blocks sent for it take the number.
    int levelNumber() const { return levelCode == '2' ? 2 : levelCode == '3' ? 3 : 1; }
  };

  // One rectangular area of a page (pixels).
  struct tagArea {
    int pageNo = 0;
    int x = 0;
    int y = 0;
    int areaWidth = 0;
    int areaHeight = 0;
    std::vector<tagMaterial> materials;
  };

  // One show page with its daily time window.
  struct tagShowPage {
    int pageNo = 0;
    std::string startTime;
    std::string endTime;
    int pageExtra = 0;
    std::vector<tagArea> areas;
  };

  // One chunk of bitmap data on its way to a block encoder.
  struct tagPackBuffer {
    char chArrData[3000];
    int32_t nDataLen = 0;
    int32_t nPackType = 0x31;
    int32_t nMark = 1;
    int32_t nPackIndex = 0;
    int32_t nPackCount = 0;
  };

  GlobalMember();
  ~GlobalMember();
  GlobalMember(const GlobalMember&) = delete;
  GlobalMember& operator=(const GlobalMember&) = delete;

  // The page set, in the order pages were first added. Every read or change
  // holds modelLock.
  std::vector<tagShowPage> showPages;
  std::mutex modelLock;
  // Controllers logged in to the login server, in order of login. Every read
  // or change holds clientLock.
  std::vector<tagSocketClient> socketClients;
  std::mutex clientLock;

  // Pieces of `text` between occurrences of `separator`; a trailing separator
  // adds no empty piece, an empty text or separator gives no piece.
  static std::vector<std::string> SplitStr(std::string text, std::string separator);
  // The low `width` bits of value, most significant first; "00000000" for a
  // width of 0 or less.
  static std::string IntToBinStr(int value, int width);
  // Base-2 reading as strtol does it (blanks, sign, digits up to the first
  // other character); any length.
  static int BinStrToInt(std::string digits);
  // Plain reading of leading '0'/'1' digits.
  static int BinStrToInt2(std::string digits);
  // Inclusive random number from the library's own generator (seeded once,
  // safe from any thread); the C library's rand() is left to the application.
  static int randNum(int lowest, int highest);
  static bool IsStrUTF8(const char* text);
  // Replaces every occurrence of pattern; an empty pattern changes nothing.
  static void ReplaceStr(std::string& text, const std::string& pattern,
                         const std::string& replacement);
  // Converts nothing; always null.
  static char* UTF8ToGBK(const char* text);
};

// The model's one instance: the page set and the client list of the process.
extern GlobalMember globalMember;

// The login server's thread runs until the process ends, also while the
// process's static objects are destroyed. It holds this lock (which is never
// destroyed) whenever it uses the model, and stops using it once the model
// is gone; the model's destructor takes the lock to mark it gone.
std::mutex& ModelLifeLock();
// With ModelLifeLock held: true once the model has been destroyed.
bool ModelGone();

#endif  // LIBVEXA_X86_MODEL_GLOBALMEMBER_H
