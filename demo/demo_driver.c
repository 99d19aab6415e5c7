/* The demo package's kernel driver: it loads and does nothing else, so the
   package has a real file to copy and a service to point at. */
typedef long NTSTATUS;

NTSTATUS __stdcall DriverEntry(void* driverObject, void* registryPath)
{
    (void)driverObject;
    (void)registryPath;
    return 0; /* STATUS_SUCCESS */
}
