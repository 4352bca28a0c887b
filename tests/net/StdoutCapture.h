#pragma once

#include <QByteArray>

#include <cstdio>

#include <unistd.h>

// Redirects the process's standard output into a temporary file for the
// lifetime of the object, so a test can compare the exact lines a unit
// writes. Qt Test also prints to standard output: finish() before asserting.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        std::fflush(stdout);
        m_file = std::tmpfile();
        m_saved = ::dup(STDOUT_FILENO);
        if (m_file && m_saved >= 0)
            ::dup2(::fileno(m_file), STDOUT_FILENO);
    }
    ~StdoutCapture() { finish(); }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    // Restores standard output and gives what was written meanwhile.
    QByteArray finish()
    {
        if (!m_file)
            return m_text;
        std::fflush(stdout);
        if (m_saved >= 0) {
            ::dup2(m_saved, STDOUT_FILENO);
            ::close(m_saved);
        }
        std::rewind(m_file);
        char block[4096];
        for (size_t count; (count = std::fread(block, 1, sizeof block, m_file)) > 0;)
            m_text.append(block, int(count));
        std::fclose(m_file);
        m_file = nullptr;
        return m_text;
    }

private:
    std::FILE *m_file = nullptr;
    int m_saved = -1;
    QByteArray m_text;
};
