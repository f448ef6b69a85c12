#pragma once
// Numbers of the language texts (language/<name>, "number=text"). Code
// asks for texts by these numbers through GetMessageText; every number
// used anywhere must have a text in language/english.

#include <initializer_list>

namespace msg {

constexpr int ProductTitle = 99;
constexpr int ButtonOK = 101;
constexpr int ButtonClose = 103;
constexpr int ButtonSave = 109;
constexpr int SettingsCaption = 111;          // caption of settings errors
constexpr int ConversionListColumn = 304;     // followed by " <count> <size>"
constexpr int OutputFolderMissing = 401;
constexpr int ConversionListEmpty = 402;
constexpr int AskConvertWithoutMark = 403;
constexpr int AskDeleteMark = 400;
constexpr int OverwriteYes = 910;
constexpr int OverwriteNo = 911;
constexpr int OverwriteAllYes = 912;
constexpr int OverwriteAllNo = 913;
constexpr int LogWindowCaption = 920;
constexpr int AskReplaceFile = 921;
constexpr int SelectFolderCaption = 980;
constexpr int FolderDoesNotExist = 981;       // follows a quoted path
constexpr int NewFolderCaption = 982;
constexpr int NewFolderPrompt = 983;          // followed by the parent folder
constexpr int AskReplaceExisting = 1551;
constexpr int MarkFileNotWritten = 1555;
constexpr int FrameStyleFirst = 1611;         // frame styles 0..5: 1611..1616
constexpr int FrameStyleLast = 1616;
constexpr int MarkFileDamaged = 9000;
constexpr int JpegQuality = 9001;             // "jpg " + text + ":" + q + "%"
constexpr int PreviewFileType = 9006;         // followed by ":" and the extension
constexpr int OverwriteQuestion = 9012;       // follows the target's path
constexpr int LogFailed = 9023;
constexpr int LogHead = 9024;
constexpr int LogConvertedCount = 9025;       // followed by "<done>/<total>"
constexpr int LogElapsedSeconds = 9026;       // followed by the seconds
constexpr int SettingsUnreadable = 9100;      // followed by "key=value" lines
constexpr int HelpFileMissing = 9101;         // followed by the file name
constexpr int ShellnookAction = 9102;         // file-manager menu entry
constexpr int ConfigNotReadable = 9103;       // followed by the file name
constexpr int HelpNotShown = 9104;            // followed by the help page's file
constexpr int MaskEditorMissing = 9110;       // followed by the program's path

// The mark editor.
constexpr int MarkEditorCaption = 1500;
constexpr int ChoosePicture = 1550;           // title of the picture choosers
constexpr int MarkNameMissing = 1552;
constexpr int MarkTextMissing = 1553;
constexpr int MarkVersionLabel = 1556;        // followed by ":" and the version
constexpr int MarkPictureMissing = 1557;
constexpr int MarkTextTooLong = 1558;
constexpr int MarkNameNotPlain = 1559;        // "/", NUL, "." or ".."
constexpr int MarkNameTooLong = 1560;         // more than 30 bytes
constexpr int PicturePathCut = 1561;          // more than 255 bytes
constexpr int PreviewTooLarge = 1562;         // shown in the preview instead
constexpr int PictureNotRead = 1563;          // followed by the file name
constexpr int MarkFontCaption = 1564;         // the font dialog
constexpr int MarkFontColor = 1565;
constexpr int BevelLowered = 1597;            // bevel items: lowered, none, raised
constexpr int BevelNone = 1598;
constexpr int BevelRaised = 1599;
constexpr int MarkNotRead = 9010;             // three "%s" for line breaks

// Every number above, for the check that the English texts are complete.
constexpr std::initializer_list<int> AllNumbers = {
    ProductTitle, ButtonOK, ButtonClose, ButtonSave, SettingsCaption,
    ConversionListColumn, OutputFolderMissing, ConversionListEmpty,
    AskConvertWithoutMark, OverwriteYes, OverwriteNo, OverwriteAllYes,
    OverwriteAllNo, LogWindowCaption, AskReplaceFile, SelectFolderCaption,
    FolderDoesNotExist, NewFolderCaption, NewFolderPrompt, MarkFileNotWritten,
    1611, 1612, 1613, 1614, 1615, 1616, MarkFileDamaged, JpegQuality,
    OverwriteQuestion, LogFailed, LogHead, LogConvertedCount, LogElapsedSeconds,
    SettingsUnreadable, HelpFileMissing, ShellnookAction, ConfigNotReadable, HelpNotShown, AskDeleteMark,
    AskReplaceExisting, PreviewFileType, MaskEditorMissing,
    MarkEditorCaption, ChoosePicture, MarkNameMissing, MarkTextMissing, MarkVersionLabel,
    MarkPictureMissing, MarkTextTooLong, MarkNameNotPlain, MarkNameTooLong, PicturePathCut,
    PreviewTooLarge, PictureNotRead, MarkFontCaption, MarkFontColor, BevelLowered, BevelNone, BevelRaised, MarkNotRead};

}  // namespace msg
