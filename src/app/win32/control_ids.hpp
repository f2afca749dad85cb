// The identifiers of the main window's controls, shared with the test driver that finds the
// controls by them.
#pragma once

namespace qm::win32 {

enum ControlId : int {
    IdGo = 100,
    IdSourceLabel,
    IdSourceDrive,
    IdSourceDir,
    IdSourceFiles,
    IdLogLabel,
    IdLogDrive,
    IdLogDir,
    IdFilesLabel,
    IdFilesBox,
    IdErrorsLabel,
    IdErrorsBox,
    IdWarningsLabel,
    IdWarningsBox,
    IdMusicXml,
    IdHelp,
    IdQuit,
    IdSourceLine,
    IdLogLine,
    IdStatusLine,
    IdLogLink,
    IdProgress,
    IdStop,
};

} // namespace qm::win32
