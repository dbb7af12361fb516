#pragma once
#include <gtest/gtest.h>

#include <string>

#include "json/json_node.h"

// Runs the statement and checks that it raises JsonError with this number and description.
#define EXPECT_JSON_ERROR(statement, number, description)      \
  do {                                                         \
    try {                                                      \
      statement;                                               \
      ADD_FAILURE() << "no JsonError from " #statement;        \
    } catch (const kn::json::JsonError& e) {                   \
      EXPECT_EQ(e.Number(), number);                           \
      EXPECT_EQ(e.Description(), std::u16string(description)); \
      EXPECT_EQ(e.Source(), std::u16string_view(u"JsonNode")); \
    }                                                          \
  } while (0)
