var libLoaded = true;
