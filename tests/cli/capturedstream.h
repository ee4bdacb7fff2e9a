#pragma once

#include <QByteArray>
#include <cstdio>

// A stream the client's output classes write to as to a terminal or a pipe, read back whole.
class CapturedStream
{
public:
    CapturedStream()
        : m_file(tmpfile())
    { }
    ~CapturedStream() { fclose(m_file); }
    CapturedStream(const CapturedStream &) = delete;
    CapturedStream &operator=(const CapturedStream &) = delete;

    FILE *file() const { return m_file; }
    QByteArray written() const
    {
        fflush(m_file);
        rewind(m_file);
        QByteArray bytes;
        char buffer[4096];
        for (size_t read; (read = fread(buffer, 1, sizeof buffer, m_file)) > 0;)
            bytes.append(buffer, int(read));
        return bytes;
    }

private:
    FILE *m_file;
};
