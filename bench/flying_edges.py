"""Times VTK's vtkFlyingEdges3D on a raw grid, for the extraction comparison.

Usage: flying_edges.py RAW NX NY NZ LEVEL REPEATS
RAW holds NX*NY*NZ little-endian 32-bit floats, x fastest. Only Update() is timed,
on one thread, with normals, gradients and scalars off (Tivarel makes none of them).
Prints the best time in seconds and the triangle count.
"""
import sys
import time

from vtkmodules.vtkCommonCore import vtkSMPTools
from vtkmodules.vtkFiltersCore import vtkFlyingEdges3D
from vtkmodules.vtkIOImage import vtkImageReader2

path = sys.argv[1]
nx, ny, nz = (int(v) for v in sys.argv[2:5])
level, repeats = float(sys.argv[5]), int(sys.argv[6])

vtkSMPTools.SetBackend("Sequential")
reader = vtkImageReader2()
reader.SetFileName(path)
reader.SetFileDimensionality(3)
reader.SetDataScalarTypeToFloat()
reader.SetDataByteOrderToLittleEndian()
reader.SetDataExtent(0, nx - 1, 0, ny - 1, 0, nz - 1)
reader.Update()

edges = vtkFlyingEdges3D()
edges.SetInputData(reader.GetOutput())
edges.SetValue(0, level)
edges.SetComputeNormals(False)
edges.SetComputeGradients(False)
edges.SetComputeScalars(False)
best = float("inf")
for _ in range(repeats):
    edges.Modified()
    start = time.perf_counter()
    edges.Update()
    best = min(best, time.perf_counter() - start)
print(best, edges.GetOutput().GetNumberOfCells())
