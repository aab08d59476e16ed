#pragma once

#include <libpq-fe.h>

#include <string>

namespace dl250t {

// The functions of the PostgreSQL client library that the connection uses.
// The library is loaded when a database journal is first connected, not at
// the program's start: it brings some twenty libraries of its own (TLS,
// Kerberos, LDAP), which every start without a database journal would load
// for nothing. libpq-fe.h gives the types only; nothing links the library.
struct LibpqLibrary {
    decltype(&PQconnectStartParams) connectStartParams;
    decltype(&PQconnectPoll) connectPoll;
    decltype(&PQstatus) status;
    decltype(&PQsocket) socket;
    decltype(&PQsetnonblocking) setNonblocking;
    decltype(&PQsetNoticeProcessor) setNoticeProcessor;
    decltype(&PQerrorMessage) errorMessage;
    decltype(&PQfinish) finish;
    decltype(&PQsendQuery) sendQuery;
    decltype(&PQsendQueryParams) sendQueryParams;
    decltype(&PQflush) flush;
    decltype(&PQconsumeInput) consumeInput;
    decltype(&PQisBusy) isBusy;
    decltype(&PQgetResult) getResult;
    decltype(&PQresultStatus) resultStatus;
    decltype(&PQresultErrorMessage) resultErrorMessage;
    decltype(&PQntuples) ntuples;
    decltype(&PQnfields) nfields;
    decltype(&PQgetvalue) getvalue;
    decltype(&PQgetisnull) getisnull;
    decltype(&PQcmdTuples) cmdTuples;
    decltype(&PQcmdStatus) cmdStatus;
    decltype(&PQclear) clear;
};

// The library of that name, loaded at the first call and kept for the rest
// of the program; nullptr, with the reason in `problem`, when it cannot be
// loaded or lacks a function.
const LibpqLibrary* loadLibpq(const std::string& name, std::string& problem);

}  // namespace dl250t
