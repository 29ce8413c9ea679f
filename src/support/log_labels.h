// The labels under which the trapping procedures log their errors: the names the log has
// always used (the original form's child controls among them), in one table.
#pragma once

namespace dalmure::label {

inline constexpr const char16_t* ambientChanged = u"errUserControl_AmbientChanged";
inline constexpr const char16_t* annoAdd = u"errDalmure_AnnoAdd";
inline constexpr const char16_t* annoCount = u"errDalmure_AnnoCount";
inline constexpr const char16_t* annoData = u"errDalmure_AnnoData";
inline constexpr const char16_t* annoDelete = u"errDalmure_AnnoDelete";
inline constexpr const char16_t* annoDesc = u"errDalmure_AnnoDesc";
inline constexpr const char16_t* annoTime = u"errDalmure_AnnoTime";
inline constexpr const char16_t* chargeLangue = u"errDalmure_ChargeLangue";
inline constexpr const char16_t* clearAll = u"errDalmure_ClearAll";
inline constexpr const char16_t* clearCellBackColor = u"errDalmure_ClearCellBackColor";
inline constexpr const char16_t* editorAddWord = u"errDalmure_Text1_AddWord";
inline constexpr const char16_t* editorChange = u"errDalmure_Text1_Change";
inline constexpr const char16_t* editorKeyDown = u"errDalmure_Text1_KeyDown";
inline constexpr const char16_t* editorKeyPress = u"errDalmure_Text1_KeyPress";
inline constexpr const char16_t* editorLostFocus = u"errDalmure_Text1_LostFocus";
inline constexpr const char16_t* editorSpellingHelp = u"errDalmure_Text1_SpellingHelp";
inline constexpr const char16_t* ensureVisible = u"errDalmure_EnsureVisible";
inline constexpr const char16_t* entryStyleClick = u"errDalmure_CWButton6_Click";
inline constexpr const char16_t* entryStyleHover = u"errDalmure_CWButton6_MouseMove";
inline constexpr const char16_t* expandWords = u"errDalmure_ExpandWords";
inline constexpr const char16_t* find = u"errDalmure_Find";
inline constexpr const char16_t* generateHTML = u"errDalmure_GenerateHTML";
inline constexpr const char16_t* getLogPath = u"errDalmure_GetLogPath";
inline constexpr const char16_t* gridClick = u"errDalmure_MSFlexGrid1_Click";
inline constexpr const char16_t* gridDoubleClick = u"errDalmure_MSFlexGrid1_DblClick";
inline constexpr const char16_t* gridMouseMove = u"errDalmure_MSFlexGrid1_MouseMove";
inline constexpr const char16_t* gridMouseUp = u"errDalmure_MSFlexGrid1_MouseUp";
inline constexpr const char16_t* journal = u"errDalmure_Journal";
inline constexpr const char16_t* noPlay = u"errDalmure_NoPlay";
inline constexpr const char16_t* notes = u"Dalmure_Notes";
inline constexpr const char16_t* printClick = u"errDalmure_CWButton5_Click";
inline constexpr const char16_t* printHover = u"errDalmure_CWButton5_MouseMove";
inline constexpr const char16_t* recoverSession = u"errDalmure_RecoverSession";
inline constexpr const char16_t* renameClick = u"errDalmure_CWButton4_Click";
inline constexpr const char16_t* resize = u"errDalmure_UserControl_Resize";
inline constexpr const char16_t* resizeGrid = u"errDalmure_ResizeGrid";
inline constexpr const char16_t* setDataVariables = u"errDalmure_SetDataVariables";
inline constexpr const char16_t* setRowHeight = u"errDalmure_SetRowHeight";
inline constexpr const char16_t* startUp = u"errDalmure_UserControl_Initialize";
inline constexpr const char16_t* strFindData = u"errDalmure_strFindData";
inline constexpr const char16_t* surfaceMouseMove = u"errUserControl_MouseMove";
inline constexpr const char16_t* viewClick = u"errDalmure_CWButton2_Click";

} // namespace dalmure::label
