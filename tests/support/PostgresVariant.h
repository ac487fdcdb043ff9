#pragma once

#include <QtTest>

#include "history/HistoryStore.h"

namespace tarsyn::test {

/// True in the PostgreSQL variant of a suite (TARSYN_HISTORY_BACKEND=postgresql, set by
/// tarsyn_add_postgresql_variant in CMake).
inline bool postgresVariant() {
    return qEnvironmentVariable("TARSYN_HISTORY_BACKEND") == QLatin1String("postgresql");
}

/// Where a suite with a PostgreSQL variant keeps its history: the server of TARSYN_TEST_PG_URL in that
/// variant, else the SQLite file `sqliteFile`.
inline history::HistoryLocation variantLocation(const QString& sqliteFile) {
    if (postgresVariant())
        return history::HistoryLocation::fromSetting(qEnvironmentVariable("TARSYN_TEST_PG_URL"), QString());
    return history::HistoryLocation::sqliteFile(sqliteFile);
}

}  // namespace tarsyn::test

/// In initTestCase of a suite with a PostgreSQL variant: that variant without a server
/// (TARSYN_TEST_PG_URL unset) skips the whole suite with the words ctest reads as "skipped"
/// ("PostgreSQL history not tested"), never passing having run nothing; under CI=true it fails.
#define TARSYN_SKIP_POSTGRES_VARIANT_WITHOUT_SERVER()                                               \
    do {                                                                                            \
        if (tarsyn::test::postgresVariant() && qEnvironmentVariableIsEmpty("TARSYN_TEST_PG_URL")) { \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))                                \
                QFAIL(                                                                              \
                    "TARSYN_TEST_PG_URL is not set: in CI the PostgreSQL suites must run (source "  \
                    "scripts/pg-throwaway first)");                                                 \
            QSKIP(                                                                                  \
                "PostgreSQL history not tested: TARSYN_TEST_PG_URL is not set (source "             \
                "scripts/pg-throwaway)");                                                           \
        }                                                                                           \
    } while (false)
