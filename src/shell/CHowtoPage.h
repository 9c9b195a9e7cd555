#pragma once
// The how-to page of the toolbox: what each mouse action and each key in the view does,
// as pairs of texts from the key table. Built on QWidget.

#include <QWidget>

class MirelApplication;

class CHowtoPage : public QWidget {
    Q_OBJECT
public:
    explicit CHowtoPage(QWidget* parent = nullptr);

    void SetApplication(MirelApplication* /*application*/) {}
    void Initialize() {}
    void StoreSettings() {}
};
