#pragma once
// The toolbox: a modeless tool window beside the main window with four tabbed pages
// (main, view, constants, how to use) through which the user does everything but the
// mouse work in the view. Built on QWidget (a tool window holding a QTabWidget).

#include <QWidget>

class CConstPage;
class CDisplayPage;
class CHowtoPage;
class CItemPage;
class MirelApplication;
class QTabWidget;

class CToolboxSheet : public QWidget {
    Q_OBJECT
public:
    /// Makes the four pages in tab order and hands each the application; owner: the main window.
    CToolboxSheet(MirelApplication* application, QWidget* owner);
    ~CToolboxSheet() override;

    /// Initialises the pages, moves the window to the configured toolbox position and shows it.
    void Create();
    /// Stores the window's position as the toolbox position, then lets every page store its settings.
    void StoreSettings();
    /// The main page's update.
    void Update();

    QTabWidget* Tabs() const { return tabs_; }
    CItemPage* ItemPage() const { return itemPage_; }
    CDisplayPage* DisplayPage() const { return displayPage_; }
    CConstPage* ConstPage() const { return constPage_; }
    CHowtoPage* HowtoPage() const { return howtoPage_; }

private:
    QTabWidget* tabs_;
    CItemPage* itemPage_;
    CDisplayPage* displayPage_;
    CConstPage* constPage_;
    CHowtoPage* howtoPage_;
};
