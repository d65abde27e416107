// The main window's command ids. Other windows, the chase player and the
// command line ask for a command by its id (MainWindow::RunCommand).
#pragma once

namespace quor {

enum CommandId : int {
  kCmdExit = 9200,
  kCmdOpen = 9201,
  kCmdSave = 9202,
  kCmdImport = 9203,
  kCmdSceneList = 9204,
  kCmdShowMode = 9205,
  kCmdMatrixSize = 9206,
  kCmdAbout = 9207,
  kCmdAudioAgc = 9208,
  kCmdOutputDevices = 9209,
  kCmdOutputPatch = 9210,
  kCmdStartOutput = 9211,
  kCmdDockSceneWindow = 9212,
  kCmdRemoteControl = 9213,
  kCmdHelpContents = 9214,
  kCmdFileRecorder = 9215,
  kCmdChaseList = 9216,
  kCmdDockChaseWindow = 9217,
  kCmdNewMatrixOutput = 9230,
  kCmdNew = 9240,
  kCmdSaveAs = 9241,
  kCmdUndo = 9242,
  kCmdRedo = 9243,
  kCmdControls = 9250,
  kCmdWebRemote = 9260,
  // The panel buttons that give the same commands.
  kCmdScenesButton = 9027,
  kCmdShowModeButton = 9028,
  kCmdChasesButton = 9053,
};

}  // namespace quor
