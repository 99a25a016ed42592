"C:\ProgramData\Planted\Planted.exe" /planted
