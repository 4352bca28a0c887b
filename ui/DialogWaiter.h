#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class QTimer;

namespace Ui {
class DialogWaiter;
}

// Keeps the user away while a contest is composed and decrypted on the
// worker thread; only the main window can take it down, with hide().
class DialogWaiter : public QDialog
{
    Q_OBJECT
public:
    explicit DialogWaiter(QWidget *parent = nullptr);
    ~DialogWaiter() override;

    // Shows the text with dots that come and go once a second.
    void showWaiting(const QString &text);

public slots:
    // Escape would otherwise hide the box while the content is still being
    // handed between threads.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void animate();

private:
    const std::unique_ptr<Ui::DialogWaiter> ui;
    QTimer *m_animationTimer;
    int m_dotCount = 0;
    QString m_baseText;
};
