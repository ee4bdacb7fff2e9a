#pragma once

#include <QStringList>

// A throw-away local user with a home directory of its own, made with useradd and removed
// with its home when the test ends. Only root can make one.
class TestUser
{
public:
    explicit TestUser(const QString &name);
    ~TestUser();

    TestUser(const TestUser &) = delete;
    TestUser &operator=(const TestUser &) = delete;

    bool isValid() const { return m_uid != 0; }
    QString name() const { return m_name; }
    QString home() const { return m_home; }
    uint uid() const { return m_uid; }

    // |command| prefixed so that it runs with this user's uid, gid and groups, and the
    // environment of the test.
    QStringList command(const QStringList &command) const;

private:
    QString m_name;
    QString m_home;
    uint m_uid = 0;
    uint m_gid = 0;
};
