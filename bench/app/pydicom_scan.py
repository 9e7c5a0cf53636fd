import sys, os, time, pydicom
t=time.perf_counter(); n=0
for root, dirs, files in os.walk(sys.argv[1]):
    for f in sorted(files):
        ds = pydicom.dcmread(os.path.join(root, f), stop_before_pixels=True)
        labels = (str(ds.get('PatientName','')), ds.get('StudyDescription',''), ds.get('SeriesDescription',''))
        n+=1
dt=time.perf_counter()-t
print(f"pydicom: {n} files in {dt:.3f} s = {n/dt:.0f} files/s")
