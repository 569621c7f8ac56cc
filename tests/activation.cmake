# activation tests
