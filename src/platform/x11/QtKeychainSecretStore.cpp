#include "QtKeychainSecretStore.h"

#include <qcoro/qcorosignal.h>
#include <qt6keychain/keychain.h>

#include <memory>

namespace {

// QtKeychain's outcomes in the classic keychain status codes the rest of the program speaks.
int statusFor(QKeychain::Error error)
{
    switch (error) {
    case QKeychain::NoError:
        return SecretStore::statusSuccess;
    case QKeychain::EntryNotFound:
        return SecretStore::statusItemNotFound;
    case QKeychain::AccessDeniedByUser:
        return -128; // user cancelled
    case QKeychain::AccessDenied:
        return -25293; // authorisation failed
    case QKeychain::NoBackendAvailable:
        return -25291; // no keychain available
    case QKeychain::NotImplemented:
        return -4; // unimplemented
    case QKeychain::CouldNotDeleteEntry:
    case QKeychain::OtherError:
        break;
    }
    return -26276; // internal component failure
}

struct JobDeleter {
    void operator()(QKeychain::Job *job) const { job->deleteLater(); }
};

template <typename J>
std::unique_ptr<J, JobDeleter> makeJob(const QString &service, const QString &account)
{
    std::unique_ptr<J, JobDeleter> job(new J(service));
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    job->setKey(account);
    return job;
}

QCoro::Task<SecretStore::Reply> finish(QKeychain::Job *job)
{
    auto finished = qCoro(job, &QKeychain::Job::finished);
    job->start();
    co_await finished;
    SecretStore::Reply reply;
    reply.status = statusFor(job->error());
    if (job->error() != QKeychain::NoError)
        reply.message = job->errorString();
    co_return reply;
}

} // namespace

QCoro::Task<SecretStore::Reply> QtKeychainSecretStore::read(QString service, QString account)
{
    auto job = makeJob<QKeychain::ReadPasswordJob>(service, account);
    QCoro::Task<Reply> running = finish(job.get());
    Reply reply = co_await running;
    if (reply.status == statusSuccess)
        reply.data = job->binaryData();
    co_return reply;
}

QCoro::Task<SecretStore::Reply> QtKeychainSecretStore::write(QString service, QString account, QByteArray data)
{
    auto job = makeJob<QKeychain::WritePasswordJob>(service, account);
    job->setBinaryData(data);
    QCoro::Task<Reply> running = finish(job.get());
    Reply reply = co_await running;
    co_return reply;
}

QCoro::Task<SecretStore::Reply> QtKeychainSecretStore::remove(QString service, QString account)
{
    auto job = makeJob<QKeychain::DeletePasswordJob>(service, account);
    QCoro::Task<Reply> running = finish(job.get());
    Reply reply = co_await running;
    co_return reply;
}
