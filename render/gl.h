#pragma once
// OpenGL 1.1 and GLU, the only graphics interface of the render layer.
#include <GL/gl.h>
#include <GL/glu.h>
