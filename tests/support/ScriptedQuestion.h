#pragma once

#include "RetryQuestion.h"

#include <functional>

// The operator's answers to the link's retry question: `answer` is called
// with the number of the question, and no answer declines.
class ScriptedQuestion : public RetryQuestion
{
public:
    bool askRetry() override
    {
        ++asked;
        return answer ? answer(asked) : false;
    }

    std::function<bool(int)> answer;
    int asked = 0;
};
