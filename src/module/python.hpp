// The one way the boundary includes the CPython C API (PY_SSIZE_T_CLEAN before Python.h).
#pragma once
#define PY_SSIZE_T_CLEAN
#include <Python.h>
