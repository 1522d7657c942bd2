#include "sql/ZKSqlLogging.h"

Q_LOGGING_CATEGORY(lcZKSql, "orvo.sql")
