# Sourced by the benchmark scripts: the build folder $build (default "build", made absolute),
# configured as Release and built when the programs the benchmarks run are missing.
build=${1:-build}
if [ ! -x "$build/bin/Patchtree" ] || [ ! -x "$build/bin/Patchdoc" ] ||
    [ ! -x "$build/tests/support/make_sample" ] || [ ! -x "$build/bench/measure" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target Patchdoc Patchtree make_sample measure -j2 >/dev/null
fi
build=$(cd "$build" && pwd)
