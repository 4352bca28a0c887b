#pragma once

#include "RetryQuestion.h"

// The station's retry question: a Yes/No box over the given window.
class RetryMessageBox : public RetryQuestion
{
public:
    bool askRetry(QWidget *parent) override;
};
