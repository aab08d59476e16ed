#include "platform/postgres/postgres_connection.hpp"
#include "platform/journal_files.hpp"

#include <errno.h>
#include <poll.h>

#include <charconv>
#include <chrono>

#include "platform/postgres/libpq_library.hpp"

namespace dl250t {

namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

using Status = DatabaseAnswer::Status;

DatabaseAnswer failed(Status status, std::string problem = {}) {
    DatabaseAnswer answer;
    answer.status = status;
    answer.problem = std::move(problem);
    return answer;
}

class PostgresConnection final : public DatabaseConnection {
public:
    explicit PostgresConnection(std::string library) : libraryName_(std::move(library)) {}
    ~PostgresConnection() override { close(); }
    PostgresConnection(const PostgresConnection&) = delete;
    PostgresConnection& operator=(const PostgresConnection&) = delete;

    DatabaseAnswer connect(const std::string& uri, const std::string& applicationName,
                           milliseconds limit) override {
        close();
        std::string problem;
        pq_ = loadLibpq(libraryName_, problem);
        if (pq_ == nullptr) {
            return failed(Status::Lost, problem);
        }
        // Entries before the URI are defaults it may override; those after
        // it are what the journal needs.
        const char* keywords[] = {"application_name", "keepalives_idle", "dbname",
                                  "client_encoding", nullptr};
        const char* values[] = {applicationName.c_str(), "60", uri.c_str(), "UTF8", nullptr};
        connection_ = pq_->connectStartParams(keywords, values, 1);
        if (connection_ == nullptr) {
            return failed(Status::Lost, "no memory for a connection");
        }
        // The server's notices (a table that exists already) are not the
        // operator's business; its errors come with the statement's result.
        pq_->setNoticeProcessor(
            connection_, [](void*, const char*) {}, nullptr);
        if (pq_->status(connection_) == CONNECTION_BAD) {
            return lost();
        }
        const auto deadline = SteadyClock::now() + limit;
        PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
        while (polling != PGRES_POLLING_OK) {
            if (polling == PGRES_POLLING_FAILED) {
                return lost();
            }
            if (auto waited =
                    waitFor(polling == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline)) {
                return *waited;
            }
            polling = pq_->connectPoll(connection_);
        }
        // Nothing the journal sends may block: every wait is one of ours.
        if (pq_->setNonblocking(connection_, 1) != 0) {
            return lost();
        }
        return failed(Status::Done);
    }

    DatabaseAnswer execute(std::string_view sql,
                           const std::vector<std::optional<std::string>>& parameters,
                           milliseconds limit) override {
        if (connection_ == nullptr || pq_->status(connection_) != CONNECTION_OK) {
            return failed(Status::Lost);
        }
        const auto deadline = SteadyClock::now() + limit;
        const std::string statement(sql);
        int sent = 0;
        if (parameters.empty()) {
            sent = pq_->sendQuery(connection_, statement.c_str());
        } else {
            std::vector<const char*> values;
            for (const auto& parameter : parameters) {
                values.push_back(parameter ? parameter->c_str() : nullptr);
            }
            sent = pq_->sendQueryParams(connection_, statement.c_str(),
                                        static_cast<int>(values.size()), nullptr, values.data(),
                                        nullptr, nullptr, 0);
        }
        if (sent != 1) {
            return lost();
        }
        for (;;) {
            const int flushed = pq_->flush(connection_);
            if (flushed == 0) {
                break;
            }
            if (flushed < 0) {
                return lost();
            }
            // Whatever the server says meanwhile is taken in, as libpq asks.
            if (auto waited = waitFor(POLLIN | POLLOUT, deadline)) {
                return *waited;
            }
            if (pq_->consumeInput(connection_) != 1) {
                return lost();
            }
        }
        Result kept(nullptr, pq_->clear);
        for (;;) {
            while (pq_->isBusy(connection_) != 0) {
                if (auto waited = waitFor(POLLIN, deadline)) {
                    return *waited;
                }
                if (pq_->consumeInput(connection_) != 1) {
                    return lost();
                }
            }
            Result next(pq_->getResult(connection_), pq_->clear);
            if (next == nullptr) {
                break;
            }
            // The first failure is the one to tell of.
            if (kept == nullptr || succeeded(kept.get())) {
                kept = std::move(next);
            }
        }
        if (kept == nullptr) {
            return lost();
        }
        if (!succeeded(kept.get())) {
            // An error that ended the session is a lost connection, not a
            // refusal.
            return failed(
                pq_->status(connection_) == CONNECTION_OK ? Status::Refused : Status::Lost,
                pq_->resultErrorMessage(kept.get()));
        }
        return answerOf(kept.get());
    }

    bool alive() override {
        if (connection_ == nullptr || pq_->status(connection_) != CONNECTION_OK) {
            return false;
        }
        // A server that ended the session has said so and closed its end:
        // the socket reads, and what it reads ends the connection.
        pollfd watched{pq_->socket(connection_), POLLIN, 0};
        if (watched.fd < 0) {
            return false;
        }
        if (poll(&watched, 1, 0) > 0 && pq_->consumeInput(connection_) != 1) {
            return false;
        }
        return pq_->status(connection_) == CONNECTION_OK;
    }

    void close() override {
        if (connection_ != nullptr) {
            pq_->finish(connection_);
            connection_ = nullptr;
        }
    }

private:
    using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

    bool succeeded(const PGresult* result) const {
        const ExecStatusType status = pq_->resultStatus(result);
        return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK ||
               status == PGRES_EMPTY_QUERY;
    }

    DatabaseAnswer answerOf(PGresult* result) const {
        DatabaseAnswer answer;
        answer.status = Status::Done;
        const int rows = pq_->ntuples(result);
        const int columns = pq_->nfields(result);
        for (int row = 0; row < rows; ++row) {
            auto& values = answer.rows.emplace_back();
            for (int column = 0; column < columns; ++column) {
                if (pq_->getisnull(result, row, column) != 0) {
                    values.emplace_back(std::nullopt);
                } else {
                    values.emplace_back(pq_->getvalue(result, row, column));
                }
            }
        }
        const std::string_view affected = pq_->cmdTuples(result);
        std::from_chars(affected.data(), affected.data() + affected.size(), answer.affected);
        answer.command = pq_->cmdStatus(result);
        return answer;
    }

    DatabaseAnswer lost() const {
        return failed(Status::Lost,
                      connection_ != nullptr ? pq_->errorMessage(connection_) : std::string());
    }

    // Waits until the connection's socket is ready for `events`; nothing
    // then, else why not: the deadline came first or the socket failed. A
    // signal does not end the wait: a station finishes the module in hand.
    std::optional<DatabaseAnswer> waitFor(short events, SteadyClock::time_point deadline) const {
        for (;;) {
            const auto left =
                std::chrono::ceil<milliseconds>(deadline - SteadyClock::now()).count();
            if (left <= 0) {
                return failed(Status::NoAnswer);
            }
            pollfd watched{pq_->socket(connection_), events, 0};
            if (watched.fd < 0) {
                return lost();
            }
            const int ready = poll(&watched, 1, static_cast<int>(left));
            if (ready > 0) {
                return std::nullopt;
            }
            if (ready < 0 && errno != EINTR) {
                return failed(Status::Lost, "the connection to the database cannot be watched");
            }
        }
    }

    std::string libraryName_;
    const LibpqLibrary* pq_ = nullptr;
    PGconn* connection_ = nullptr;
};

}  // namespace

std::unique_ptr<DatabaseConnection> makePostgresConnection(std::string library) {
    return std::make_unique<PostgresConnection>(std::move(library));
}

}  // namespace dl250t

namespace dl250t {

DatabaseConnector databaseConnector() {
    return [] { return makePostgresConnection(); };
}

}  // namespace dl250t
