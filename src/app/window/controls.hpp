// The controls of the main window, described once for every view: names, captions (with '&'
// before the mnemonic letter, as Qt and Windows both read it), hints, the names a screen
// reader announces, and the designed place of each in a client area of ClientWidth x
// ClientHeight pixels. Views may scale the places and follow their toolkit's fonts.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace qm::window {

enum class Side { Source, Log };

enum class Control : std::uint8_t {
    SourceLabel,
    SourceDrive,
    SourceDirs,
    SourceFiles,
    LogLabel,
    LogDrive,
    LogDirs,
    FilesLabel,
    FilesBox,
    ErrorsLabel,
    ErrorsBox,
    WarningsLabel,
    WarningsBox,
    MusicXml,
    Help,
    Stop,
    Go,
    Quit,
    SourcePath,
    LogPath,
    RunStatus,
    ProgressBar,
    ProgressText,
};
inline constexpr std::size_t ControlCount = static_cast<std::size_t>(Control::ProgressText) + 1;

enum class ControlKind {
    Label,
    DriveBox,
    DirectoryList,
    FileList,
    CountBox, // read-only, not a Tab stop
    CheckBox,
    Button,
    StatusLine,
    ProgressBar,
};

struct Rect {
    int Left, Top, Width, Height;
};

struct ControlLayout {
    Control Id;
    ControlKind Kind;
    std::string_view Name;       // the object name tests and scripts find it by
    std::string_view Caption;    // '&' marks the mnemonic
    std::string_view Hint;       // the tooltip
    std::string_view Accessible; // what a screen reader calls it; empty for labels
    Rect Place;
    int FontPixels;    // 0: the view's default font
    bool RightAligned; // labels that end at the box they name
    Control Buddy;     // a label's control (its mnemonic focuses it); else the control itself
};

inline constexpr std::string_view ApplicationTitle = "Quillmark Updater";
inline constexpr std::string_view WindowCaption = "Quillmark 75 Converter";
inline constexpr std::string_view WindowHint =
    "Reads NW files from Source dir & subdirs and creates NWC files from them, with log file "
    "of any problems";
inline constexpr std::string_view HelpCaption = "Quillmark Help";
inline constexpr int ClientWidth = 440;
// The designed 514, then the status strip: two path lines, the run's line, its progress.
inline constexpr int ClientHeight = 580;

// Every control, in creation order.
std::span<const ControlLayout> controls();
const ControlLayout &layoutOf(Control id);

// The order Tab moves through: "Go!" first; count boxes and status lines are no stops.
inline constexpr std::array TabOrder{
    Control::Go,       Control::SourceDrive, Control::SourceDirs, Control::SourceFiles,
    Control::LogDrive, Control::LogDirs,     Control::MusicXml,   Control::Help,
    Control::Stop,     Control::Quit};

} // namespace qm::window
