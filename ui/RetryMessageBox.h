#pragma once

#include "RetryQuestion.h"

#include <QPointer>
#include <QWidget>

// The station's retry question: a Yes/No box over the given window.
class RetryMessageBox final : public RetryQuestion
{
public:
    explicit RetryMessageBox(QWidget *parent = nullptr);

    bool askRetry() override;

private:
    QPointer<QWidget> m_parent;
};
