#pragma once
// The main page of the toolbox: ten item slots, each a drop-down list of the item
// folder's field definitions with an add and an information button, and the buttons
// that clear the world, rescan the folder, show the version and pause, step or resume
// the simulation. Built on QWidget.

#include <QWidget>

#include <array>
#include <memory>
#include <string>

class FieldCatalog;
class MirelApplication;
class QComboBox;
class QPushButton;

class CItemPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRowCount = 10;
    // control identifiers of the rows: list, add and information button
    static constexpr std::array<int, kRowCount> kListIds{1004, 1006, 1008, 1010, 1012,
                                                         1025, 1027, 1031, 1034, 1036};
    static constexpr std::array<int, kRowCount> kAddIds{1005, 1007, 1009, 1011, 1013,
                                                        1026, 1028, 1032, 1035, 1037};
    static constexpr std::array<int, kRowCount> kInformationIds{1020, 1021, 1022, 1023, 1024,
                                                                1029, 1030, 1033, 1038, 1039};
    static constexpr int kDeleteAllId = 1014;
    static constexpr int kUpdateId = 1015;
    static constexpr int kPauseId = 1016;
    static constexpr int kStepId = 1017;
    static constexpr int kGoId = 1018;
    static constexpr int kVersionId = 1019;
    static constexpr int kSaveId = 1050;
    static constexpr int kBackId = 1051;
    static constexpr int kForwardId = 1052;

    explicit CItemPage(QWidget* parent = nullptr);
    ~CItemPage() override;

    /// The application the page acts on; called once, before the page is shown.
    void SetApplication(MirelApplication* application);
    /// Remembers the configured item file of every slot.
    void Initialize();
    /// Stores the selected file of each row, in order up to the first row without one, as
    /// the configured item files.
    void StoreSettings();

    /// Clears the world, reloads the device objects, rescans the item folder and fills the
    /// lists, keeping each row's file selected. Files that fail are reported together in one
    /// message box; the others are listed.
    void Update();
    /// Adds the items of the row's selected definition to the world (nothing without a selection).
    void Add(int row);
    /// Adds the items of a field definition file as Add does; a failure is shown in a message box.
    void AddFile(const std::wstring& path);
    /// Shows the information dialog of the row's selected definition.
    void ShowInformation(int row);
    void DeleteAll();
    /// Asks for the scene's name and saves the world under it (the "Save…" button, Ctrl+S).
    void AskAndSaveScene();
    /// Saves the world's user items as a field definition file of that name in the item folder,
    /// asking before an existing file is replaced; tells where it went, or why it failed.
    /// True when the file was written.
    bool SaveScene(const QString& name);
    /// While paused, one tick back or forward in the world's history.
    void Back();
    void Forward();
    void Pause();
    void Step();
    void Go();

    QComboBox* List(int row) const { return lists_[row]; }
    /// The file path of the row's selected entry; empty without a selection.
    std::wstring SelectedPath(int row) const;

signals:
    /// The keyboard should go back to the main window's view.
    void mainWindowFocusWanted();

private:
    MirelApplication* application_ = nullptr;
    std::unique_ptr<FieldCatalog> catalog_;
    std::array<std::wstring, kRowCount> rememberedPaths_;
    bool filled_ = false;
    std::array<QComboBox*, kRowCount> lists_{};
};
