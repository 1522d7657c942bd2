#pragma once

#include <QString>

// The secret that the web application asks of every request: whoever can read it is the user
// the program runs for. Each start makes a new random token and, once its web application holds
// its port, writes it to a file in the data folder that only the user can read; the web window,
// the addresses the scripts print and the tray program's requests to the daemon take it from
// there. A start that cannot serve (another program, or a running instance on the same data
// folder, holds the port) leaves the file to the program that serves.
class OrvoWebToken
{
public:
    OrvoWebToken() = delete;

    // The token file of a role's web application: "orvouser.token" for "user", "orvo.token" for
    // the daemon, beside the role's settings and log.
    static QString fileName(const QString &role);

    // Makes the process's token, which the web application asks for from then on.
    static void issue();
    // Writes the process's token (mode 0600) to the role's file in folder. False, with error
    // saying why, when it cannot be written; the process then has no token.
    static bool publish(const QString &folder, const QString &role, QString &error);
    // The token issue made; empty before, or when publish failed.
    static QString current();
    // The token a running program of the role wrote to folder; empty when there is none that
    // looks like one.
    static QString read(const QString &folder, const QString &role);
};
