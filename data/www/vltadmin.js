// The self-service page: builds the change-password request from the form,
// sends it to the service and shows the answer in words. Nothing typed is
// logged or stored; the password fields are emptied after every attempt.
(function () {
  'use strict';

  var ANSWERS = {
    success: 'Your password was changed',
    'old-password-invalid': 'The old password was not accepted',
    'new-password-invalid': 'The new password does not meet the rules of your domain',
    failed: 'The service could not change the password; try again later'
  };
  var MISMATCH = 'The new password and its repetition are not the same';
  var MISSING = 'Please fill in every field';
  var TIMEOUT_MS = 30000;

  var form = document.getElementById('change');
  var result = document.getElementById('result');
  var field = {};
  ['user', 'kind', 'domain', 'old', 'new', 'repeat'].forEach(function (id) {
    field[id] = document.getElementById(id);
  });
  var button = document.getElementById('send');

  // Text as element content: markup characters, and spaces and control
  // characters, as references, so that the service reads the text exactly
  // (a leading space included).
  function escapeText(text) {
    return text.replace(/[\u0000-\u0020&<>"']/g, function (c) {
      return '&#' + c.charCodeAt(0) + ';';
    });
  }

  function element(name, text, attributes) {
    return '<' + name + (attributes || '') + '>' + escapeText(text) + '</' + name + '>';
  }

  function buildRequest() {
    var kind = field.kind.value;
    var domain = '';
    if (kind === 'NT' || kind === 'NDS')
      domain = element('Domain', field.domain.value.trim(), ' type="' + kind + '"');
    return '<?xml version="1.0" encoding="UTF-8"?>\n' +
      '<AdminProtocol version="1.0"><RequestChangePassword>' +
      element('UserName', field.user.value.trim()) + domain +
      element('OldPassword', field.old.value) +
      element('NewPassword', field['new'].value) +
      '</RequestChangePassword></AdminProtocol>';
  }

  // The answer's error id, '' for success, null when the reply is not an
  // answer at all.
  function errorIdOf(text) {
    var doc = new DOMParser().parseFromString(text, 'application/xml');
    if (doc.getElementsByTagName('parsererror').length > 0) return null;
    if (doc.getElementsByTagName('ResponseChangePassword').length !== 1) return null;
    var ids = doc.getElementsByTagName('ErrorId');
    return ids.length === 0 ? '' : ids[0].textContent.trim();
  }

  function show(message, good, focusField) {
    result.className = 'result ' + (good ? 'good' : 'bad');
    result.textContent = message;
    if (focusField) focusField.focus();
  }

  // Marks the fields to correct; each is described by the message, which a
  // screen reader then reads with the field.
  function markInvalid(list) {
    ['user', 'domain', 'old', 'new', 'repeat'].forEach(function (id) {
      if (list.indexOf(field[id]) >= 0) {
        field[id].setAttribute('aria-invalid', 'true');
        field[id].setAttribute('aria-describedby', 'result');
      } else {
        field[id].removeAttribute('aria-invalid');
        field[id].removeAttribute('aria-describedby');
      }
    });
  }

  function clearPasswords() {
    field.old.value = '';
    field['new'].value = '';
    field.repeat.value = '';
  }

  function updateKind() {
    var directory = field.kind.value === 'directory';
    field.domain.disabled = directory;
    field.domain.required = !directory;
    field.domain.setAttribute('aria-required', directory ? 'false' : 'true');
    if (directory) field.domain.value = '';
  }

  function setBusy(busy) {
    button.disabled = busy;
    form.setAttribute('aria-busy', busy ? 'true' : 'false');
  }

  function send() {
    var body = buildRequest();
    var controller = new AbortController();
    var timer = setTimeout(function () { controller.abort(); }, TIMEOUT_MS);
    setBusy(true);
    show('Changing your password\u2026', true);
    fetch(form.getAttribute('data-service'), {
      method: 'POST',
      headers: { 'Content-Type': 'text/xml' },
      body: body,
      cache: 'no-store',
      credentials: 'omit',
      redirect: 'error',
      referrerPolicy: 'no-referrer',
      signal: controller.signal
    }).then(function (response) {
      if (!response.ok) return null;
      return response.text().then(errorIdOf);
    }).catch(function () {
      return null;
    }).then(function (id) {
      clearTimeout(timer);
      setBusy(false);
      clearPasswords();
      markInvalid(id === 'old-password-invalid' ? [field.old] :
                  id === 'new-password-invalid' ? [field['new']] : []);
      if (id === '') show(ANSWERS.success, true, null);
      else if (id === 'old-password-invalid') show(ANSWERS[id], false, field.old);
      else if (id === 'new-password-invalid') show(ANSWERS[id], false, field.old);
      else show(ANSWERS.failed, false, null);
    });
  }

  form.addEventListener('submit', function (event) {
    event.preventDefault();
    if (button.disabled) return;
    var empty = [field.user, field.domain, field.old, field['new'], field.repeat].filter(
      function (input) { return !input.disabled && input.value === ''; });
    if (field.user.value.trim() === '' && empty.indexOf(field.user) < 0) empty.unshift(field.user);
    if (empty.length > 0) {
      markInvalid(empty);
      show(MISSING, false, empty[0]);
      return;
    }
    if (field['new'].value !== field.repeat.value) {
      // Caught here: nothing is sent.
      field.repeat.value = '';
      markInvalid([field.repeat]);
      show(MISMATCH, false, field.repeat);
      return;
    }
    markInvalid([]);
    send();
  });

  field.kind.addEventListener('change', updateKind);
  updateKind();
}());
