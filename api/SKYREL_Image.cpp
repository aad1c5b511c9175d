// Image groups, multimedia uploads and playing an image group.
//
// An image group is gathered over several calls, one image per call, in the
// group buffer chArrImageBuffer with g_nArrIndex as its fill counter; the
// call that brings the last image cuts the buffer into 2048-byte chunks and
// sends them all in one list. A multimedia upload uses the same buffer within
// one call and sends its 960-byte chunks one frame at a time.
//
// The group is guarded: a call that does not continue the open group exactly
// (no group open, another count or colour mode, a position out of order, a
// bitmap of another length, an image that cannot be read, a fill counter
// moved by another operation) is refused with result 1 and abandons the
// group, releasing its buffer, so that nothing is written out of bounds and
// no partial group is ever sent as if it were whole.
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "SKYREL.h"
#include "api/EntryPoint.h"
#include "api/Send.h"
#include "api/Settings.h"
#include "api/Sequence.h"
#include "core/CBuffObj.h"
#include "core/ImageContent.h"
#include "core/Protocol.h"
#include "model/GlobalMember.h"
#include "transport/Senders.h"

namespace {

// The transports of SendImageGroupBuffer, and what its unused slots carry.
constexpr int kNetworkTransport = 1;
constexpr int kSerialTransport = 2;
constexpr int kUnusedNetworkMode = 1;
char kNoAddress[] = "";
// Image count, pack count and pack index travel as 16-bit numbers; a group
// that needs more cannot be described to the controller.
constexpr int64_t kMaxCounter = 0xFFFF;

char kNoDeviceAddress[] = "0";

// What the open group was started with.
struct GroupState {
  int count = 0;         // images in the group
  int colourMode = 0;    // 0 to 2
  int lastPosition = 0;  // position of the last image stored
  int imageBytes = 0;    // bitmap length of every image
  int64_t capacity = 0;  // bytes allocated for the group
  int filled = 0;        // bytes stored so far (what g_nArrIndex must read)
};
GroupState group;

int NormalMode(int colourMode) { return colourMode < 0 || colourMode > 2 ? 0 : colourMode; }

// With the sequence lock held: releases the group buffer, if one is held,
// and forgets the group.
void ReleaseGroup() {
  sequence::End();
  group = GroupState{};
}

// With the sequence lock held: the group's frames are built; the buffer is
// released and g_nArrIndex keeps the number of bytes sent.
void GroupSent() {
  sequence::Sent();
  group = GroupState{};
}

// The bitmap of image file `source`; when there is none, `reason` says why
// in the words of a refusal ("image "logo.png": No such file or directory").
std::pair<unsigned char*, int> ReadBitmap(char* source, int colourMode, int width, int height,
                                          std::string& reason) {
  std::string why;
  const std::pair<unsigned char*, int> bitmap =
      ImageBitmapFromFile(source, colourMode, width, height, &why);
  if (bitmap.first == nullptr) {
    reason = source == nullptr ? why : "image \"" + std::string(source) + "\": " + why;
  }
  return bitmap;
}

// Refuses and abandons the open group. Returns 1.
int Abandon(const std::string& reason) {
  ReleaseGroup();
  return trace::Refuse(reason + "; the image group is abandoned");
}

// A pack holding `length` bytes of the group buffer from `offset`.
GlobalMember::tagPackBuffer PackOf(int offset, int length, int packType, int index, int count) {
  GlobalMember::tagPackBuffer pack;
  std::memcpy(pack.chArrData, chArrImageBuffer + offset, static_cast<size_t>(length));
  pack.nDataLen = length;
  pack.nPackType = packType;
  pack.nMark = 1;
  pack.nPackIndex = index;
  pack.nPackCount = count;
  return pack;
}

// Opens a new group for `count` images of `imageBytes` each; false when the
// group could not be described or held.
bool OpenGroup(int count, int colourMode, int width, int height, int imageBytes) {
  int64_t bits = 0;
  if (__builtin_mul_overflow(static_cast<int64_t>(count), static_cast<int64_t>(width), &bits) ||
      __builtin_mul_overflow(bits, static_cast<int64_t>(height), &bits) ||
      __builtin_mul_overflow(bits, static_cast<int64_t>(colourMode + 1), &bits)) {
    return false;
  }
  const int64_t capacity = bits / 8;
  if (count > kMaxCounter || capacity < imageBytes) return false;
  if (capacity > kMaxCounter * protocol::kImageChunk) return false;
  sequence::Begin(sequence::Kind::kImageGroup);
  chArrImageBuffer = new char[static_cast<size_t>(capacity)];
  group.count = count;
  group.colourMode = colourMode;
  group.capacity = capacity;
  group.imageBytes = imageBytes;
  return true;
}

}  // namespace

int SendImageGroupBuffer(int transport, int networkMode, char* ip, int serialProtocol,
                         int portNumber, int baudRate, char* /*deviceAddress*/, char* source,
                         int width, int height, int materialId, int displayMode, int style1,
                         int style2, int style3, int levelCode, bool primaryFlag, int index,
                         int count) {
  int result = 1;
  try {
    // Refusals that leave an open group as it was.
    if (source == nullptr) return trace::Refuse("the image source is null");
    if (transport == kNetworkTransport && ip == nullptr) {
      return trace::Refuse("the controller's address is null");
    }
    if (transport == kNetworkTransport && !IsDottedIPv4(ip)) {
      return trace::Refuse("address \"" + std::string(ip) + "\" is not dotted IPv4");
    }

    std::unique_lock<std::mutex> held = sequence::Hold();
    const bool mine = sequence::OwnedHere(sequence::Kind::kImageGroup);
    // The bus protocol has no form of this command: nothing will ever be
    // sent, so the caller's group ends here and its buffer is released.
    if (transport != kNetworkTransport && serialProtocol == protocol::kBusProtocol) {
      if (mine) ReleaseGroup();
      return trace::Refuse("image groups have no RS-485 form (serial protocol 2)");
    }

    const int mode = NormalMode(displayMode);
    const bool starts = index < 2;
    if (starts) {
      ReleaseGroup();  // a group left open by an earlier caller is abandoned
      if (count < index) count = index;
    } else {
      if (!mine || chArrImageBuffer == nullptr) {
        return trace::Refuse("image " + std::to_string(index) + " of " + std::to_string(count) +
                             ": no image group of this thread is open");
      }
      if (count != group.count || mode != group.colourMode ||
          index != group.lastPosition + 1 || g_nArrIndex != group.filled) {
        return Abandon("image " + std::to_string(index) + " of " + std::to_string(count) +
                       " does not continue the open group");
      }
    }

    // The bitmap is copied before anything else can reuse the source's buffer.
    std::string reason;
    const std::pair<unsigned char*, int> bitmap = ReadBitmap(source, mode, width, height, reason);
    if (bitmap.first == nullptr || bitmap.second < 0) return Abandon(reason);
    if (starts) {
      if (!OpenGroup(count, mode, width, height, bitmap.second)) {
        return trace::Refuse("a group of " + std::to_string(count) + " images of " +
                             std::to_string(width) + " x " + std::to_string(height) +
                             " cannot be described to the controller");
      }
    } else if (bitmap.second != group.imageBytes) {
      return Abandon("image \"" + std::string(source) + "\" has another size than the group's");
    }
    if (static_cast<int64_t>(g_nArrIndex) + bitmap.second > group.capacity) {
      return Abandon("the image does not fit the group buffer");
    }
    std::memcpy(chArrImageBuffer + g_nArrIndex, bitmap.first, static_cast<size_t>(bitmap.second));
    g_nArrIndex += bitmap.second;
    group.filled = g_nArrIndex;
    group.lastPosition = index;
    if (index != count) return 0;

    // The group is complete: every chunk in its block and frame, in order.
    const int total = g_nArrIndex;
    const int chunks = total / protocol::kImageChunk + (total % protocol::kImageChunk != 0 ? 1 : 0);
    CBuffObj obj;
    FrameList frames;
    for (int k = 1; k <= chunks; ++k) {
      const int offset = (k - 1) * protocol::kImageChunk;
      const int length = k < chunks ? protocol::kImageChunk : total - offset;
      const GlobalMember::tagPackBuffer pack =
          PackOf(offset, length, k == 1 ? protocol::kFirstPack : protocol::kLaterPack, k, chunks);
      const CBuffObj::tagBufferInfo block =
          obj.ImgGroupBuffer(pack, materialId, mode, style1, style2, style3, levelCode,
                             primaryFlag, count, k == chunks);
      frames.push_back(obj.CompletePacketBuffer(block, commands::kImageGroup.networkCode,
                                                commands::kImageGroup.subCode));
    }
    GroupSent();  // the frames hold their own copies
    held.unlock();   // the buffer is free for the next group while this one is sent

    if (transport == kNetworkTransport) {
      result = SendToController(std::move(frames), ip, networkMode);
    } else {
      result = SendOnSerial(std::move(frames), portNumber, baudRate);
    }
  } catch (...) {
    // Out of memory for the buffer or the frames: the group cannot go on.
    std::unique_lock<std::mutex> held = sequence::Hold();
    if (sequence::OwnedHere(sequence::Kind::kImageGroup)) ReleaseGroup();
  }
  return result;
}

int SendImageGroup_Net(char* source, char* ip, int networkMode, int width, int height,
                       int materialId, int displayMode, int style1, int style2, int style3,
                       int levelCode, bool primaryFlag, int index, int count) {
  return SendImageGroupBuffer(kNetworkTransport, networkMode, ip, 0, 1, 9600, kNoDeviceAddress,
                              source, width, height, materialId, displayMode, style1, style2,
                              style3, levelCode, primaryFlag, index, count);
}

int SendImageGroup_Com(char* source, char* deviceAddress, int serialProtocol, int portNumber,
                       int baudRate, int width, int height, int materialId, int displayMode,
                       int style1, int style2, int style3, int levelCode, bool primaryFlag,
                       int index, int count) {
  if (source == nullptr) return trace::Refuse("the image source is null");
  if (deviceAddress == nullptr) return RefuseNullBusAddress();
  return SendImageGroupBuffer(kSerialTransport, kUnusedNetworkMode, kNoAddress, serialProtocol,
                              portNumber, baudRate, deviceAddress, source, width, height,
                              materialId, displayMode, style1, style2, style3, levelCode,
                              primaryFlag, index, count);
}

std::pair<unsigned char*, int> ImageContentBuffer(char* source, int colourMode, int width,
                                                  int height) {
  try {
    std::string reason;
    const std::pair<unsigned char*, int> bitmap =
        ReadBitmap(source, colourMode, width, height, reason);
    if (bitmap.first == nullptr) trace::Refuse(reason);
    return bitmap;
  } catch (...) {
    return {nullptr, 0};  // out of memory for the reason's words
  }
}


int SendMultimediaBuffer(char* source, char* ip, int networkMode, short commandCode,
                         int horizontal, int vertical, int width, int height, int colourMode,
                         int flag, int value) {
  int result = 1;
  try {
    if (source == nullptr) return trace::Refuse("the image source is null");
    if (ip == nullptr) return trace::Refuse("the controller's address is null");
    if (!IsDottedIPv4(ip)) {
      return trace::Refuse("address \"" + std::string(ip) + "\" is not dotted IPv4");
    }
    const int mode = NormalMode(colourMode);
    std::vector<FrameList> chunkFrames;
    {
      std::unique_lock<std::mutex> held = sequence::Hold();
      // The buffer is needed now; an image group still open is abandoned.
      ReleaseGroup();
      std::string reason;
      const std::pair<unsigned char*, int> bitmap = ReadBitmap(source, mode, width, height, reason);
      if (bitmap.first == nullptr || bitmap.second <= 0) {
        return trace::Refuse(bitmap.first == nullptr
                                 ? reason
                                 : "image \"" + std::string(source) + "\" gives an empty bitmap");
      }
      sequence::Begin(sequence::Kind::kImageGroup);
      chArrImageBuffer = new char[static_cast<size_t>(bitmap.second)];
      std::memcpy(chArrImageBuffer, bitmap.first, static_cast<size_t>(bitmap.second));
      g_nArrIndex = bitmap.second;

      const int total = g_nArrIndex;
      const int chunks =
          total / protocol::kMediaChunk + (total % protocol::kMediaChunk != 0 ? 1 : 0);
      CBuffObj obj;
      for (int k = 0; k < chunks; ++k) {
        const int offset = k * protocol::kMediaChunk;
        const int length = k < chunks - 1 ? protocol::kMediaChunk : total - offset;
        const GlobalMember::tagPackBuffer pack =
            PackOf(offset, length, k == 0 ? protocol::kFirstPack : protocol::kLaterPack, k, chunks);
        FrameList frames;
        frames.push_back(obj.MultimediaBuffer(pack, commandCode, mode, horizontal / 8, vertical,
                                              width / 8, height, flag, value));
        chunkFrames.push_back(std::move(frames));
      }
      GroupSent();  // the frames hold their own copies
    }
    // Every chunk is sent even after a failed one; the last one's code counts.
    const SendSettings settings = CurrentSettings();
    for (const FrameList& frames : chunkFrames) {
      result = SendToController(frames, ip, networkMode, settings);
    }
  } catch (...) {
    // Out of memory: the result held so far is returned.
    std::unique_lock<std::mutex> held = sequence::Hold();
    if (sequence::OwnedHere(sequence::Kind::kImageGroup)) ReleaseGroup();
  }
  return result;
}

int SendMultimedia_Net(char* source, char* ip, int networkMode, bool form78, int horizontal,
                       int vertical, int width, int height, int colourMode, int flag,
                       int value) {
  return SendMultimediaBuffer(
      source, ip, networkMode,
      (form78 ? commands::kMultimediaWide : commands::kMultimediaNarrow).networkCode, horizontal,
      vertical, width, height, colourMode, flag, value);
}

int PlayImageGroup_Net(char* ip, int networkMode, int modeSelect, int groupNo, int byte5,
                       int word6, int word8, int byte10, int byte11, int byte12, bool byte2Clear,
                       bool highModeBits) {
  return SendOneNetworkFrame(commands::kPlayImageGroup, ip, networkMode, [&](CBuffObj& o) {
    return o.PlayImageBuffer(modeSelect, groupNo, byte5, word6, word8, byte10, byte11, byte12,
                             byte2Clear, highModeBits);
  });
}

int PlayImageGroup_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate,
                       int modeSelect, int groupNo, int byte5, int word6, int word8, int byte10,
                       int byte11, int byte12, bool byte2Clear, bool highModeBits) {
  return SendTwin(commands::kPlayImageGroup, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [&](CBuffObj& o, bool) {
                    return o.PlayImageBuffer(modeSelect, groupNo, byte5, word6, word8, byte10,
                                             byte11, byte12, byte2Clear, highModeBits);
                  });
}
