// The commands the library sends, one row each: the name, the network
// frame's command code and sub-code, the form the command takes on the
// RS-485 bus with its serial code, and the kind of content it carries.
// The network entry points, their serial twins and the trace all read these
// rows; a new command is a new row here (see docs/adding-a-command.md).
#ifndef LIBVEXA_X86_CORE_COMMANDS_H
#define LIBVEXA_X86_CORE_COMMANDS_H

#include <cstddef>
#include <cstdint>


namespace commands {

// How a command travels on the RS-485 bus (serial protocol 2).
enum class BusForm {
  kNone,        // no bus form: a serial twin asked for the bus sends nothing
  kPlain,       // RS-485 frame, no option block, no CRC
  kOptionsCrc,  // RS-485 frame with option block 01 01 01 and a CRC
  kVoice,       // RS-485 voice frame
  kBarScreen,   // a bar-screen frame of its own, never inside another frame
};

// What the payload carries.
enum class Content {
  kNone,         // no payload
  kPlayControl,  // page, relay, brightness and image-group play values
  kClock,        // the host's date and time
  kText,         // a text for an area, a data field or a place
  kLineUp,       // the ticket of a queue line
  kVoice,        // a text to speak
  kMaterial,     // a template block: text, date-time or image group
  kBitmap,       // picture bytes in chunks
  kPageSet,      // the page-set descriptor
  kBarScreen,    // bar-screen parameters or pages
};

struct Command {
  const char* name;
  short networkCode;  // byte 8 of the network frame (0: none)
  int subCode;        // byte 9 of the network frame
  BusForm bus;
  short busCode;      // the serial code of the bus frame (0: none)
  Content content;
};

// The network code the template blocks share: internal texts, date-time
// displays and image groups, told apart by their content type.
constexpr short kMaterialCode = 0x31;

// clang-format off
// One row a command:        name              network        sub bus form              serial content
inline constexpr Command kPlayShowPage{     "PlayShowPage",   0x66,          0,  BusForm::kPlain,      0x36,  Content::kPlayControl};
inline constexpr Command kStartPlay{        "StartPlay",      0x51,          0,  BusForm::kNone,       0,     Content::kNone};
inline constexpr Command kStopPlay{         "StopPlay",       0x52,          0,  BusForm::kNone,       0,     Content::kNone};
inline constexpr Command kRelay{            "Relay",          0x61,          0,  BusForm::kPlain,      0x32,  Content::kPlayControl};
inline constexpr Command kSetBright{        "SetBright",      0x76,          0,  BusForm::kNone,       0,     Content::kPlayControl};
inline constexpr Command kTimeCheck{        "TimeCheck",      0x63,          0,  BusForm::kPlain,      0x34,  Content::kClock};
inline constexpr Command kGreeting{         "LoginGreeting",  0x62,          0,  BusForm::kNone,       0,     Content::kClock};
inline constexpr Command kDateTime{         "DateTime",       kMaterialCode, 0,  BusForm::kNone,       0,     Content::kMaterial};
inline constexpr Command kInternalText{     "InternalText",   kMaterialCode, 0,  BusForm::kOptionsCrc, 0x54,  Content::kMaterial};
inline constexpr Command kImageGroup{       "ImageGroup",     kMaterialCode, 0,  BusForm::kNone,       0,     Content::kMaterial};
inline constexpr Command kCollectedData{    "CollectedData",  0x65,          0,  BusForm::kPlain,      0x37,  Content::kText};
inline constexpr Command kCoordinateText{   "CoordinateText", 0x60,          0,  BusForm::kNone,       0,     Content::kText};
inline constexpr Command kLineUp{           "LineUp",         0x64,          0,  BusForm::kNone,       0,     Content::kLineUp};
// The network form takes the caller's sub-code; the serial twins send this one.
inline constexpr Command kVoice{            "PlayVoice",      0x68,          2,  BusForm::kVoice,      0x73,  Content::kVoice};
inline constexpr Command kPlayImageGroup{   "PlayImageGroup", 0x67,          0,  BusForm::kPlain,      0x35,  Content::kPlayControl};
inline constexpr Command kMultimediaNarrow{ "Multimedia",     0x6C,          0,  BusForm::kNone,       0,     Content::kBitmap};
inline constexpr Command kMultimediaWide{   "MultimediaWide", 0x78,          0,  BusForm::kNone,       0,     Content::kBitmap};
inline constexpr Command kPageSet{          "PageSet",        0x22,          0,  BusForm::kNone,       0,     Content::kPageSet};
inline constexpr Command kBarParameters{    "BarParameters",  0,             0,  BusForm::kBarScreen,  0,     Content::kBarScreen};
inline constexpr Command kBarContent{       "BarContent",     0,             0,  BusForm::kBarScreen,  0,     Content::kBarScreen};
// clang-format on

// Every row, for lookups.
inline constexpr const Command* kAll[] = {
    &kPlayShowPage,  &kStartPlay,   &kStopPlay,       &kRelay,          &kSetBright,
    &kTimeCheck,     &kGreeting,    &kDateTime,       &kInternalText,   &kImageGroup,
    &kCollectedData, &kCoordinateText, &kLineUp,      &kVoice,          &kPlayImageGroup,
    &kMultimediaNarrow, &kMultimediaWide, &kPageSet,  &kBarParameters,  &kBarContent,
};

// What the trace calls a frame: the command of a network frame by its code
// ("Material" for the template blocks that share code 0x31), of an RS-485
// frame by its serial code; nullptr for anything else.
const char* NameOfFrame(const uint8_t* frame, long n);

}  // namespace commands

#endif  // LIBVEXA_X86_CORE_COMMANDS_H
