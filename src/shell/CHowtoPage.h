#pragma once
// The how-to page of the toolbox: what each mouse action in the view does, as six
// pairs of fixed texts. Built on QWidget.

#include <QWidget>

class MirelApplication;

class CHowtoPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPairCount = 6;

    explicit CHowtoPage(QWidget* parent = nullptr);

    void SetApplication(MirelApplication* /*application*/) {}
    void Initialize() {}
    void StoreSettings() {}
};
