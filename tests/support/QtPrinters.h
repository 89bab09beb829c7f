#pragma once
// Readable GoogleTest failure messages for Qt values (found by argument-dependent lookup).
#include <QByteArray>
#include <QRect>
#include <QString>
#include <QVector2D>
#include <QVector3D>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QVector3D& v, std::ostream* os)
{
    *os << '(' << v.x() << ", " << v.y() << ", " << v.z() << ')';
}
inline void PrintTo(const QVector2D& v, std::ostream* os)
{
    *os << '(' << v.x() << ", " << v.y() << ')';
}
inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << '(' << r.x() << ", " << r.y() << ", " << r.width() << " x " << r.height() << ')';
}
