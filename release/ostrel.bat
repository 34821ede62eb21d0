@echo off
rem Starts one of the Ostrel deliverables from bin\, where it finds ..\res.
rem Usage: ostrel [1600x900-4x | 1920x1080-4x | 1920x1080-8x | 1920x1080-16x | --list]
rem With no choice: the size nearest the screen, with the most samples the driver gives.
rem Plain commands and "if errorlevel" only: Wine's cmd mishandles "&&" and "||"
rem and its findstr always succeeds; no "!" in texts searched for under delayed expansion.
setlocal EnableExtensions EnableDelayedExpansion
set "here=%~dp0"
set "choice=%~1"

if /i "%choice%"=="-h" goto help
if /i "%choice%"=="--help" goto help
if /i "%choice%"=="--list" goto list
if "%choice%"=="" goto pick

set "name=ostrel-%choice:ostrel-=%"
set "name=%name:.exe=%"
if not exist "%here%bin\%name%.exe" (
  echo ostrel: no deliverable '%choice%'; choose one of: 1>&2
  call :list 1>&2
  exit /b 2
)
call :play %name%
exit /b %code%

:pick
rem The screen's size from the video driver; unknown reads as 1600x900.
set /a width=1600
set /a height=900
set "found="
for /f "skip=1 tokens=1,2" %%a in ('wmic path Win32_VideoController get CurrentHorizontalResolution^,CurrentVerticalResolution 2^>nul') do (
  if not defined found call :size %%a %%b
)
if not defined found (
  for /f "tokens=1,2" %%a in ('powershell -NoProfile -Command "Get-CimInstance Win32_VideoController ^| Select-Object CurrentHorizontalResolution,CurrentVerticalResolution ^| Format-Table -HideTableHeaders" 2^>nul') do (
    if not defined found call :size %%a %%b
  )
)
set /a dw=width-1920
set /a dh=height-1080
set /a far1080=dw*dw+dh*dh
set /a dw=width-1600
set /a dh=height-900
set /a far900=dw*dw+dh*dh
if %far900% lss %far1080% (
  call :play ostrel-1600x900-4x
  exit /b !code!
)

rem A driver without that many samples refuses the window or, where SDL
rem settles for a window without them, the multisampled scene buffer: try fewer.
for %%s in (16 8 4) do (
  call :play ostrel-1920x1080-%%sx
  if not defined refused exit /b !code!
  if not "%%s"=="4" echo ostrel: ostrel-1920x1080-%%sx could not get %%s samples per pixel; trying fewer 1>&2
)
exit /b %code%

rem :size WIDTH HEIGHT  takes a pair of numbers as the screen's size.
:size
if "%~2"=="" exit /b 0
set /a width=%1
set /a height=%2
set found=1
exit /b 0

rem :play NAME  runs bin\NAME.exe from bin\, its log on the console; sets code
rem to its exit code and refused as :refused does. The log passes through
rem %TEMP%\NAME.log, removed afterwards.
:play
set "log=%TEMP%\%1.log"
pushd "%here%bin"
"%1.exe" 2>"%log%"
set "code=%errorlevel%"
type "%log%" 1>&2
if not defined SDL_AUDIODRIVER call :silent %1
popd
call :refused
del "%log%" >nul 2>&1
exit /b 0

rem :silent NAME  plays NAME again through SDL's dummy driver when the log says
rem there is no sound output.
:silent
find "Failed to initialize BASS Audio Device" "%log%" >nul 2>&1
if errorlevel 1 exit /b 0
echo ostrel: no sound output found: playing silently (SDL's dummy audio driver) 1>&2
set SDL_AUDIODRIVER=dummy
"%1.exe" 2>"%log%"
set "code=%errorlevel%"
type "%log%" 1>&2
exit /b 0

rem :refused  sets refused when the last log shows the window or its
rem multisampled buffer refused.
:refused
set "refused="
find "Failed to create window" "%log%" >nul 2>&1
if not errorlevel 1 set refused=1
find "Failed to initialize Scene Frame Buffer" "%log%" >nul 2>&1
if not errorlevel 1 set refused=1
exit /b 0

:list
for /f "delims=" %%p in ('dir /b "%here%bin\ostrel-*.exe"') do call :choice %%~np
exit /b 0
:choice
set "p=%1"
echo   %p:~7%
exit /b 0

:help
echo Usage: ostrel [1600x900-4x ^| 1920x1080-4x ^| 1920x1080-8x ^| 1920x1080-16x ^| --list]
echo With no choice: the size nearest the screen, with the most samples the driver gives.
exit /b 0
