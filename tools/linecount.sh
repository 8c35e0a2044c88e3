#!/usr/bin/env bash
# Lines of test code against lines of product code (C++, QML, JavaScript);
# benchmarks and tools count on neither side.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files | grep -E '\.(cpp|h|qml|js)$')
tests=$(echo "$files" | grep '^tests/' | xargs cat | wc -l)
product=$(echo "$files" | grep -vE '^(tests|bench|tools)/' | xargs cat | wc -l)
echo "test lines: $tests, product lines: $product, ratio: $(python3 -c "print(round($tests/$product, 3))")"
