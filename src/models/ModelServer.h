#pragma once

#include "models/AgentModelDescriptor.h"

#include <QJsonObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

// An OpenAI-compatible chat server the user added (their llama-server, Ollama, LM Studio, vLLM)
// with the one model of it Command writes with. Its API key, when it has one, is kept in the
// system keyring under the server's id and never here.
struct ModelServer {
    QUuid id = QUuid::createUuid();
    QString name;
    QString baseURL; // http(s)://host:port/v1, no trailing slash
    QString model;   // the id the server lists under /models
    bool images = false; // the user says so; /models does not tell
    bool hasKey = false;

    // The writing model's id: "server-" and the server's id.
    QString modelID() const;
    AgentModelDescriptor descriptor() const;
    QString host() const;
    // Loopback or one of this machine's own addresses: the text does not leave the computer.
    bool isOnThisComputer() const;
    // Where the text goes, in a few words: "this computer" or the host.
    QString destination() const;

    QJsonObject toJson() const;
    static std::optional<ModelServer> fromJson(const QJsonValue &value);
    bool operator==(const ModelServer &) const = default;

    // The address as typed, trimmed and without trailing slashes; nullopt unless it is an
    // http or https URL with a host.
    static std::optional<QString> normalizedBaseURL(const QString &typed);
    static bool isOnThisComputer(const QString &host);
    // Where a writing model's text goes: "this computer", "OpenAI", or its server's host.
    static QString destinationOf(const AgentModelDescriptor &model);
};
