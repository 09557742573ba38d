// Runs one external helper of the preview (a converter's tool) to its end.
//
// The helper's standard output and error are collected together; when it has
// not ended after `watchdogMs` its own process (and only that) is killed.
// Returns false when the program is missing or could not be started.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct ToolResult
{
    bool started = false;
    bool finishedInTime = false;
    int exitCode = -1;
    QByteArray output;
};

ToolResult RunTool(const QString &program, const QStringList &arguments, int watchdogMs);

// The full path of `name` on PATH, or empty.
QString FindTool(const QString &name);
