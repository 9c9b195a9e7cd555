#pragma once
// The version dialog: the application icon, the version line, the years, the maker's
// name drawn as a hyperlink that opens the maker's page, and OK. Built on QDialog.

#include <QDialog>
#include <QLabel>
#include <QUrl>

/// A label drawn as a hyperlink (underlined, pure blue, hand cursor) that opens its page
/// when the left button is pressed on it. Built on QLabel.
class CHyperlinkLabel : public QLabel {
    Q_OBJECT
public:
    CHyperlinkLabel(const QString& text, QUrl page, QWidget* parent = nullptr);
    const QUrl& Page() const { return page_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QUrl page_;
};

class CVersionDialog : public QDialog {
    Q_OBJECT
public:
    /// Control identifier of the maker's label.
    static constexpr int kMakerLabelId = 1097;
    /// Control identifier of the OK button.
    static constexpr int kOkId = 1;

    explicit CVersionDialog(QWidget* parent = nullptr);

    /// The maker's page: the project's README in the current directory.
    static QUrl MakerPage();
};
