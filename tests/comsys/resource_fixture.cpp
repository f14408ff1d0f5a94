// A shared library that exists to carry resources for the resource reader's tests.
extern "C" int ResourceFixture() { return 1; }
