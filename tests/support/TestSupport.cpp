// Shared test helpers live beside this file.
namespace test_support {}
