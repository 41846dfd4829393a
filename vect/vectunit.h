// The module hooks of the vector objects and of the text control, run by the
// library's start-up and shut-down (core/startup.h): the two private
// clipboard formats and the registry of extended-object classes. The vector
// objects also add a codec module that answers the probe of the object
// stream (file type 25).
#pragma once

void StartUpVectUnit();
void ShutDownVectUnit();
void StartUpTextControlUnit();
void ShutDownTextControlUnit();
// The codec module of the vector objects: the probe of file type 25.
void VXVectCodecsStartup();
void VXVectCodecsShutdown();
