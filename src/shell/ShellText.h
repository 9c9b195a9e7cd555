#pragma once
// The desktop shell's texts: the ids of its entries in the program's string table (English
// and Japanese, chosen by the locale as every program text is) and their lookup as Qt
// strings, with the naming every control of the windows gets.

#include <QString>

class QWidget;

/// Ids of the shell's entries in the program's string table.
enum ShellTextId : int {
    kTextTitle = 2000,
    kTextToolbox = 2001,
    kTextOk = 2002,
    kTextPageMain = 2010,
    kTextPageView = 2011,
    kTextPageConstant = 2012,
    kTextPageHowto = 2013,
    kTextAdd = 2020,
    kTextAbout = 2021,
    kTextDeleteAll = 2022,
    kTextUpdate = 2023,
    kTextVersion = 2024,
    kTextPause = 2025,
    kTextStep = 2026,
    kTextGo = 2027,
    kTextItemSlot = 2028,
    kTextUnreadFiles = 2029,
    kTextGravity = 2040,
    kTextRestitution = 2041,
    kTextFriction = 2042,
    kTextMouseForce = 2043,
    kTextTimeStep = 2044,
    kTextDefault = 2045,
    kTextNumberRange = 2046,
    kTextNumber = 2047,
    kTextIsometric = 2060,
    kTextTop = 2061,
    kTextChangeView = 2062,
    kTextWindowSize = 2063,
    kTextZoom = 2064,
    kTextStereogram = 2065,
    kTextSpeed = 2066,
    kTextCaptureFolder = 2067,
    kTextChoose = 2068,
    kTextCurrentDirectory = 2069,
    kTextInformation = 2100,
    kTextFileName = 2101,
    kTextName = 2102,
    kTextAuthor = 2103,
    kTextDate = 2104,
    kTextComment = 2105,
    kTextVersionCaption = 2120,
    kTextVersionLine = 2121,
    kTextYears = 2122,
    kTextMaker = 2123,
    kTextSave = 2140,
    kTextSaveScene = 2141,
    kTextSceneName = 2142,
    kTextReplaceScene = 2143,
    kTextSceneSaved = 2144,
    kTextBack = 2145,
    kTextForward = 2146,
};

/// The text of the id in the locale's language ("Can't find message." for an unknown id).
QString ShellText(int id);

/// The text as accessibility tools read it: without the mnemonic marks ("&Pause" is "Pause").
QString WithoutMnemonic(const QString& text);

/// Names a control after its control identifier ("1005") and gives it its accessible name.
void NameControl(QWidget* control, int controlId, const QString& accessibleName);

/// Shows a text in a modal message box with an OK button, titled with the program's name.
void ShowMessageBox(QWidget* parent, const QString& text);
